#!/usr/bin/env node
// Opens replay pages from disk in headless Debian Chromium and checks, from screenshots of
// the page's view, that the real marker movie (TarvekMenu.swf in Ruffle, sent the record's
// calls) draws the marker on the locked actor's aim point as the page draws it in
// perspective from the recorded camera, and draws nothing after a release.
//
//   node check.mjs OUTDIR PAGE.html...          the check (run-check.sh makes the pages)
//   node check.mjs --picture PAGE.html FRAME OUT.png
//                                               a screenshot of the whole page at a frame
//
// Frames checked, chosen from each page's record (PAGE.json beside it): in every stretch
// of frames locked on one actor, the first and the last frame whose marker call lies on the
// screen while the game shows the movie; after every release, the release frame, the next
// one and the last one before the next lock. For each, two screenshots of the view, with
// and without the movie's layer: the pixels that differ are the marker's; the locked
// actor's aim point is the page's one magenta dot.
//
// Exit 0: passed; 1: failed (the reasons are printed); 2: wrong arguments. A machine
// without Chromium or the npm packages prints "SKIPPED: <reason>" and exits 0.

import { existsSync, mkdirSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from "node:fs";
import { createRequire } from "node:module";
import { tmpdir } from "node:os";
import { basename, dirname, join, resolve } from "node:path";
import { fileURLToPath, pathToFileURL } from "node:url";
import { decodePng } from "../../movie/check/png.mjs";

const here = dirname(fileURLToPath(import.meta.url));
// The movie check's npm packages: one install serves both checks.
const MOVIE_CHECK = resolve(here, "..", "..", "movie", "check");
const CHROMIUM = "/usr/bin/chromium";
const CHROMIUM_ARGS = [
  "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
  "--disable-background-networking", "--disable-component-update", "--disable-sync",
];

// The marker's coordinates: (0, 0) is the screen centre, x = +-800 and y = +-480 its edges.
const STAGE = { halfWidth: 800, halfHeight: 480, width: 1600, height: 960 };
// The marker's outer edge at full size, in stage units (movie/README.md): no pixel of it
// lies farther out; a frame is checked only when all of it is on the screen.
const MARKER_HALF_EXTENT = 27;
const ON_SCREEN_MARGIN = 40;

const AIM_TOLERANCE_PX = 2;
const MARKER_COLOUR_DIFFERENCE = 24; // a channel this far from the view without the movie
const MIN_MARKER_PIXELS = 30;
const EDGE_ALLOWANCE_PX = 2; // anti-aliasing around the marker's outer edge
// The page's aim dot of the locked actor: magenta, which nothing else on the page uses.
const isLockedAim = (r, g, b) => r >= 200 && b >= 200 && g <= 80;
const MIN_AIM_PIXELS = 5;

const READY_TIMEOUT_MS = 120000;
const SETTLE_POLL_MS = 100;
const SETTLE_ATTEMPTS = 40;
const PAGE_MARGIN_PX = { width: 600, height: 420 }; // room for the page around an unscaled view

function skip(reason) {
  console.log(`SKIPPED: ${reason}`);
  process.exit(0);
}

async function loadPlaywright() {
  const require = createRequire(join(MOVIE_CHECK, "package.json"));
  try {
    return require("playwright-core");
  } catch (error) {
    // Only a missing package is a reason to skip; a package that fails to load is a fault.
    if (error?.code !== "MODULE_NOT_FOUND") throw error;
    skip(`playwright-core is not installed (./run test runs npm ci in ${MOVIE_CHECK})`);
  }
}

// --- Which frames to check.

const number = (value) => (value === "nan" ? NaN : value === "inf" ? Infinity : value === "-inf" ? -Infinity : value);

function lastMarkerCall(frame) {
  const calls = frame.movieCalls;
  return calls.length ? calls[calls.length - 1] : null;
}

function markerOnScreen(frame) {
  const call = lastMarkerCall(frame);
  if (!call || !call.path.endsWith(".SetTargetPos")) return false;
  const [x, y] = call.args.map(number);
  const limit = (half) => half - MARKER_HALF_EXTENT - ON_SCREEN_MARGIN;
  return Math.abs(x) < limit(STAGE.halfWidth) && Math.abs(y) < limit(STAGE.halfHeight);
}

// The plugin places the marker by the target's heading and pitch differences from the
// view (the README's marker coordinates), which is the perspective the page draws only
// while the view is near level and unrolled: off the centre of a steeply pitched view it
// lands a few pixels off, and in a rolled first-person view it turns the other way from
// the view as the stand-in's first-person node rolls it. In such views the check takes
// the frame once the view has turned onto the target, and reports the first frame's
// offset as a note.
const LEVEL_PITCH_DEGREES = 5;
const measuredAsDrawn = (frame) =>
  number(frame.camera.roll) === 0 && Math.abs(number(frame.camera.pitch)) <= LEVEL_PITCH_DEGREES;

export function chooseFrames(record) {
  const frames = record.frames;
  const checks = [], notes = [];
  for (let first = 0; first < frames.length;) {
    const target = frames[first].target;
    let last = first;
    while (last + 1 < frames.length && frames[last + 1].target === target) last++;
    const stretch = frames.slice(first, last + 1);
    if (target !== null) {
      const shown = stretch.filter((f) => f.menuOpen && f.movieVisible && markerOnScreen(f));
      const settled = shown[shown.length - 1];
      const early = shown.find(measuredAsDrawn);
      for (const frame of new Set([early, settled])) if (frame) checks.push({ frame: frame.frame, target });
      if (shown.length && shown[0] !== early) notes.push({ frame: shown[0].frame, target });
    } else if (first > 0 && frames[first - 1].target !== null) {
      const released = frames[first - 1].target;
      for (const index of new Set([first, last])) checks.push({ frame: frames[index].frame, target: null, released });
    }
    first = last + 1;
  }
  return { checks, notes };
}

// --- What a screenshot shows.

function lockedAimPoint(image) {
  const { width, height, channels, pixels } = image;
  let count = 0, sumX = 0, sumY = 0;
  for (let y = 0; y < height; y++) {
    for (let x = 0; x < width; x++) {
      const p = (y * width + x) * channels;
      if (!isLockedAim(pixels[p], pixels[p + 1], pixels[p + 2])) continue;
      count++;
      sumX += x + 0.5;
      sumY += y + 0.5;
    }
  }
  return count >= MIN_AIM_PIXELS ? { x: sumX / count, y: sumY / count, count } : null;
}

function markerPixels(withMovie, withoutMovie) {
  const { width, height, channels } = withMovie;
  const found = { count: 0, sumX: 0, sumY: 0, minX: Infinity, maxX: -Infinity, minY: Infinity, maxY: -Infinity };
  for (let y = 0; y < height; y++) {
    for (let x = 0; x < width; x++) {
      const p = (y * width + x) * channels;
      let off = 0;
      for (let c = 0; c < 3; c++) off = Math.max(off, Math.abs(withMovie.pixels[p + c] - withoutMovie.pixels[p + c]));
      if (off <= MARKER_COLOUR_DIFFERENCE) continue;
      found.count++;
      found.sumX += x + 0.5;
      found.sumY += y + 0.5;
      found.minX = Math.min(found.minX, x);
      found.maxX = Math.max(found.maxX, x + 1);
      found.minY = Math.min(found.minY, y);
      found.maxY = Math.max(found.maxY, y + 1);
    }
  }
  return found;
}

const fmt = (v) => v.toFixed(1);

function judgeLocked(marker, aim, screen) {
  if (!aim) return ["the locked actor's aim point is not drawn in the view"];
  if (marker.count < MIN_MARKER_PIXELS) return [`no marker on screen (${marker.count} pixels differ)`];
  const problems = [];
  const cx = marker.sumX / marker.count, cy = marker.sumY / marker.count;
  const dx = cx - aim.x, dy = cy - aim.y;
  if (Math.abs(dx) > AIM_TOLERANCE_PX || Math.abs(dy) > AIM_TOLERANCE_PX) {
    problems.push(`marker centred at (${fmt(cx)}, ${fmt(cy)}), the aim point is drawn at (${fmt(aim.x)}, ${fmt(aim.y)}): off by (${fmt(dx)}, ${fmt(dy)}) px`);
  }
  // Nothing but the marker: every changed pixel within a full-size marker around its centre.
  const [width, height] = screen;
  const halfWidth = (MARKER_HALF_EXTENT * width) / STAGE.width + EDGE_ALLOWANCE_PX;
  const halfHeight = (MARKER_HALF_EXTENT * height) / STAGE.height + EDGE_ALLOWANCE_PX;
  if (cx - marker.minX > halfWidth || marker.maxX - cx > halfWidth || cy - marker.minY > halfHeight || marker.maxY - cy > halfHeight) {
    problems.push(`the movie drew beyond the marker: x ${marker.minX}..${marker.maxX}, y ${marker.minY}..${marker.maxY}`);
  }
  return problems;
}

// --- Driving the page.

async function settledScreenshot(page, clip) {
  let previous = null;
  for (let attempt = 0; attempt < SETTLE_ATTEMPTS; attempt++) {
    await page.waitForTimeout(SETTLE_POLL_MS);
    const shot = await page.screenshot({ type: "png", clip });
    if (previous !== null && shot.equals(previous)) return shot;
    previous = shot;
  }
  throw new Error("the picture never settled");
}

async function openPage(context, pagePath, frame, viewport, options = "") {
  const page = await context.newPage();
  const errors = [];
  page.on("pageerror", (error) => errors.push(String(error)));
  await page.setViewportSize(viewport);
  await page.goto(`${pathToFileURL(pagePath).href}#frame=${frame}${options}`);
  await page.waitForFunction(() => window.replay && window.replay.state !== "loading", null, { timeout: READY_TIMEOUT_MS });
  const state = await page.evaluate(() => ({ state: window.replay.state, error: window.replay.error }));
  if (state.state !== "ready") throw new Error(`the page did not start: ${state.error}${errors.length ? ` (${errors.join(" | ")})` : ""}`);
  return page;
}

async function checkPage(context, pagePath, outdir, failures) {
  const name = basename(pagePath, ".html");
  const record = JSON.parse(readFileSync(pagePath.replace(/\.html$/, ".json"), "utf8"));
  const { checks, notes } = chooseFrames(record);
  let passed = 0;
  if (!checks.some((check) => check.target !== null)) {
    failures.push(`${name}: no frame shows a marker to check`);
    return passed;
  }
  const widest = Math.max(...record.frames.map((f) => f.screen[0])), tallest = Math.max(...record.frames.map((f) => f.screen[1]));
  const viewport = { width: widest + PAGE_MARGIN_PX.width, height: tallest + PAGE_MARGIN_PX.height };
  const all = [...checks, ...notes.map((note) => ({ ...note, note: true }))].sort((a, b) => a.frame - b.frame);
  let page = null;
  try {
    page = await openPage(context, pagePath, all[0].frame, viewport, "&actual");
    for (const check of all) {
      const frame = record.frames[check.frame - 1];
      await page.evaluate((n) => window.replay.show(n), check.frame);
      const state = await page.evaluate(() => ({ state: window.replay.state, error: window.replay.error, current: window.replay.current }));
      if (state.state !== "ready" || state.current !== check.frame) throw new Error(`frame ${check.frame}: ${state.error ?? `the page shows ${state.current}`}`);
      const clip = await page.evaluate(() => {
        const box = document.getElementById("view").getBoundingClientRect();
        return { x: box.left, y: box.top, width: box.width, height: box.height };
      });
      await page.evaluate(() => window.replay.setMovieShown(true));
      const shotWith = await settledScreenshot(page, clip);
      await page.evaluate(() => window.replay.setMovieShown(false));
      const shotWithout = await settledScreenshot(page, clip);
      await page.evaluate(() => window.replay.setMovieShown(true));
      const file = join(outdir, `${name}-${String(check.frame).padStart(4, "0")}`);
      writeFileSync(`${file}.png`, shotWith);
      const withMovie = decodePng(shotWith), withoutMovie = decodePng(shotWithout);
      const marker = markerPixels(withMovie, withoutMovie);
      let what, problems;
      if (check.target !== null) {
        const aim = lockedAimPoint(withoutMovie);
        what = `frame ${check.frame}, locked ${check.target}`;
        if (aim && marker.count) what += `: marker ${fmt(marker.sumX / marker.count - aim.x)}, ${fmt(marker.sumY / marker.count - aim.y)} px from its aim point`;
        problems = judgeLocked(marker, aim, frame.screen);
      } else {
        what = `frame ${check.frame}, after ${check.released} was released`;
        problems = marker.count === 0 ? [] : [`${marker.count} marker pixels on screen (x ${marker.minX}..${marker.maxX}, y ${marker.minY}..${marker.maxY})`];
      }
      if (check.note) {
        console.log(`note ${name} ${what} (a view the marker's coordinates do not measure as drawn; not checked)`);
      } else if (problems.length === 0) {
        passed++;
        console.log(`ok   ${name} ${what}`);
      } else {
        writeFileSync(`${file}-without-movie.png`, shotWithout);
        failures.push(`${name} ${what}: ${problems.join("; ")} (see ${file}.png)`);
        console.log(`FAIL ${name} ${what}: ${problems.join("; ")}`);
      }
    }
  } catch (error) {
    failures.push(`${name}: ${error.message}`);
    console.log(`FAIL ${name}: ${error.message}`);
  } finally {
    if (page) await page.close();
  }
  return passed;
}

async function withBrowser(playwright, work) {
  const context = await playwright.chromium.launchPersistentContext(join(work, "profile"), {
    executablePath: CHROMIUM,
    headless: true,
    args: CHROMIUM_ARGS,
    deviceScaleFactor: 1,
  });
  // The page is on disk and must need nothing else: any other request is refused.
  await context.route("**/*", (route) => (route.request().url().startsWith("file:") ? route.continue() : route.abort()));
  return context;
}

async function picture(playwright, pagePath, frame, outPath) {
  const PICTURE_VIEWPORT = { width: 1600, height: 980 };
  const work = mkdtempSync(join(tmpdir(), "replay-picture-"));
  const context = await withBrowser(playwright, work);
  try {
    const page = await openPage(context, resolve(pagePath), frame, PICTURE_VIEWPORT);
    await settledScreenshot(page, undefined);
    writeFileSync(outPath, await page.screenshot({ type: "png" }));
  } finally {
    await context.close();
    rmSync(work, { recursive: true, force: true });
  }
  console.log(`picture: ${outPath}`);
  return 0;
}

async function main(argv) {
  if (!existsSync(CHROMIUM)) skip(`${CHROMIUM} is not installed (./run test installs Debian's chromium)`);
  const playwright = await loadPlaywright();
  if (argv[0] === "--picture") {
    if (argv.length !== 4) return usage();
    return picture(playwright, argv[1], Number(argv[2]), resolve(argv[3]));
  }
  if (argv.length < 2) return usage();
  const [outdir, ...pages] = argv.map((p) => resolve(p));
  mkdirSync(outdir, { recursive: true });
  const work = mkdtempSync(join(tmpdir(), "replay-check-"));
  const failures = [];
  let passed = 0, context = null;
  try {
    context = await withBrowser(playwright, work);
    for (const page of pages) passed += await checkPage(context, page, outdir, failures);
  } catch (error) {
    failures.push(`the browser: ${error.message}`);
  } finally {
    if (context) await context.close();
    rmSync(work, { recursive: true, force: true });
  }
  if (failures.length > 0) console.log(`FAILED: the replay pages:\n  ${failures.join("\n  ")}`);
  console.log(`screenshots: ${outdir}`);
  console.log(`replay-check: ${passed} passed, ${failures.length} failed`);
  return failures.length > 0 ? 1 : 0;
}

function usage() {
  console.error("usage: node check.mjs OUTDIR PAGE.html... | node check.mjs --picture PAGE.html FRAME OUT.png");
  return 2;
}

process.exitCode = await main(process.argv.slice(2));
