#!/usr/bin/env node
// Plays the marker movie in a real Flash player (Ruffle, in headless Debian Chromium),
// calls _root.widget.SetTargetPos and _root.widget.Hide as the game does, and checks from
// screenshots that the marker is drawn where the plugin's numbers put it, at the size its
// distance asks for, and nowhere else; and that Hide takes it off the screen.
//
//   node check.mjs MOVIE.swf OUTDIR
//
// Exit 0: passed. Exit 1: failed (the reasons are printed). Exit 2: wrong arguments.
// A machine without Chromium or the npm packages prints "SKIPPED: <reason>" and exits 0.

import { spawnSync } from "node:child_process";
import { existsSync, mkdirSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from "node:fs";
import { createServer } from "node:http";
import { tmpdir } from "node:os";
import { basename, dirname, extname, join, resolve } from "node:path";
import { fileURLToPath } from "node:url";
import { decodePng } from "./png.mjs";

const here = dirname(fileURLToPath(import.meta.url));
const CHROMIUM = "/usr/bin/chromium";
const RUFFLE_DIR = join(here, "node_modules", "@ruffle-rs", "ruffle");
const CHROMIUM_ARGS = [
  "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
  "--disable-background-networking", "--disable-component-update", "--disable-sync",
];

// The plugin's marker coordinates: (0, 0) is the screen centre, x = +-800 the left and
// right edges, y = +-480 the top and bottom, whatever the display's aspect.
const STAGE = { width: 1600, height: 960 };

// The marker's look (stage units at full size): bracket corners at +-24 from its centre,
// outlined by a 6-unit black line, so its outer edge lies 27 units out.
const MARKER_HALF_EXTENT = 27;
// Its size by distance: full to 500 units, then down to 60% at 3000 and no smaller.
function markerScale(distance) {
  if (!(distance > 500)) return 1;
  return Math.max(0.6, 1 - ((distance - 500) * 0.4) / 2500);
}

// Full-screen sizes of the three common display shapes.
const DISPLAYS = [
  { name: "16x9", width: 1920, height: 1080 },
  { name: "4x3", width: 1440, height: 1080 },
  { name: "21x9", width: 2560, height: 1080 },
];

const SET = "_root.widget.SetTargetPos";
const HIDE = "_root.widget.Hide";
// What is called, in order, on each display, and what the screen must show after it.
const STEPS = [
  { label: "hidden-at-start" },
  { label: "centre", call: [SET, 0, 0, 500] },
  { label: "lower-left", call: [SET, -400, 200, 1500] },
  { label: "upper-right-near", call: [SET, 600, -300, 300] },
  { label: "far-corner", call: [SET, -700, -420, 10000] },
  { label: "distance-zero", call: [SET, 150, -100, 0] },
  { label: "distance-negative", call: [SET, -150, 100, -40] },
  { label: "distance-nan", call: [SET, 300, 380, NaN] },
  { label: "hidden", call: [HIDE] },
  { label: "shown-again", call: [SET, 100, 100, 2048] },
  { label: "hidden-again", call: [HIDE] },
];

// Screenshot analysis.
const BACKGROUND = [0x3c, 0x5a, 0x78]; // harness.html's player background
const MARKER_COLOUR_DISTANCE = 24; // a channel this far off the background is the marker's
const LIGHT_MIN = 170; // every channel at least this: the white stroke
const DARK_MAX = 50; // every channel at most this: the black outline
const MIN_LIGHT_PIXELS = 30;
const MIN_DARK_PIXELS = 20;
const CENTRE_TOLERANCE_PX = 1.5; // the marker's pixels centre on the aim point
const EDGE_TOLERANCE_PX = 2; // its outer edges, anti-aliasing included

const READY_TIMEOUT_MS = 60000;
const SETTLE_POLL_MS = 100;
const SETTLE_ATTEMPTS = 30;

function skip(reason) {
  console.log(`SKIPPED: ${reason}`);
  process.exit(0);
}

// --- What the screen shows ---

function findMarker(image) {
  const { width, height, channels, pixels } = image;
  const found = { count: 0, light: 0, dark: 0, sumX: 0, sumY: 0, minX: Infinity, maxX: -Infinity, minY: Infinity, maxY: -Infinity };
  for (let y = 0; y < height; y++) {
    for (let x = 0; x < width; x++) {
      const p = (y * width + x) * channels;
      const r = pixels[p], g = pixels[p + 1], b = pixels[p + 2];
      const off = Math.max(Math.abs(r - BACKGROUND[0]), Math.abs(g - BACKGROUND[1]), Math.abs(b - BACKGROUND[2]));
      if (off <= MARKER_COLOUR_DISTANCE) continue;
      found.count++;
      if (Math.min(r, g, b) >= LIGHT_MIN) found.light++;
      if (Math.max(r, g, b) <= DARK_MAX) found.dark++;
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

// Where the marker must be, in screen pixels: the 1600 x 960 stage stretched over the display.
function expectedMarker(display, x, y, distance) {
  const sx = display.width / STAGE.width, sy = display.height / STAGE.height;
  const half = MARKER_HALF_EXTENT * markerScale(distance);
  return {
    centreX: (STAGE.width / 2 + x) * sx,
    centreY: (STAGE.height / 2 + y) * sy,
    halfWidth: half * sx,
    halfHeight: half * sy,
  };
}

// The problems with what was seen, or none.
function judge(found, expected) {
  if (expected === null) {
    return found.count === 0 ? [] : [`${found.count} marker pixels are still on screen (x ${found.minX}..${found.maxX}, y ${found.minY}..${found.maxY})`];
  }
  if (found.count === 0) return ["no marker on screen"];
  const problems = [];
  const fmt = (v) => v.toFixed(1);
  const cx = found.sumX / found.count, cy = found.sumY / found.count;
  if (Math.abs(cx - expected.centreX) > CENTRE_TOLERANCE_PX || Math.abs(cy - expected.centreY) > CENTRE_TOLERANCE_PX) {
    problems.push(`marker centred at (${fmt(cx)}, ${fmt(cy)}), expected (${fmt(expected.centreX)}, ${fmt(expected.centreY)})`);
  }
  const edges = [
    ["left", found.minX, expected.centreX - expected.halfWidth],
    ["right", found.maxX, expected.centreX + expected.halfWidth],
    ["top", found.minY, expected.centreY - expected.halfHeight],
    ["bottom", found.maxY, expected.centreY + expected.halfHeight],
  ];
  for (const [side, seen, want] of edges) {
    if (Math.abs(seen - want) > EDGE_TOLERANCE_PX) problems.push(`${side} edge at ${seen}, expected ${fmt(want)}`);
  }
  if (found.light < MIN_LIGHT_PIXELS) problems.push(`only ${found.light} light stroke pixels`);
  if (found.dark < MIN_DARK_PIXELS) problems.push(`only ${found.dark} dark outline pixels`);
  return problems;
}

// --- Serving the page, the player and the movie on the loopback address only ---

const MIME = {
  ".html": "text/html; charset=utf-8",
  ".js": "text/javascript",
  ".wasm": "application/wasm",
  ".map": "application/json",
  ".swf": "application/x-shockwave-flash",
};

function serve(probe) {
  const server = createServer((request, response) => {
    const path = new URL(request.url, "http://127.0.0.1").pathname;
    let body = null, type = null;
    if (path === "/") {
      body = readFileSync(join(here, "harness.html"));
      type = MIME[".html"];
    } else if (path === "/movie.swf") {
      body = probe;
      type = MIME[".swf"];
    } else if (path.startsWith("/ruffle/")) {
      const file = join(RUFFLE_DIR, basename(path)); // no way out of the player's folder
      if (existsSync(file)) {
        body = readFileSync(file);
        type = MIME[extname(file)] ?? "application/octet-stream";
      }
    }
    if (body === null) {
      response.writeHead(404).end();
      return;
    }
    response.writeHead(200, { "Content-Type": type, "Cache-Control": "no-store" }).end(body);
  });
  return new Promise((done, failed) => {
    server.once("error", failed);
    server.listen(0, "127.0.0.1", () => done(server));
  });
}

// --- Driving the player ---

// A screenshot once the player has drawn the latest call: two in a row that agree.
async function settledScreenshot(page) {
  let previous = null;
  for (let attempt = 0; attempt < SETTLE_ATTEMPTS; attempt++) {
    await page.waitForTimeout(SETTLE_POLL_MS);
    const shot = await page.screenshot({ type: "png" });
    if (previous !== null && shot.equals(previous)) return shot;
    previous = shot;
  }
  throw new Error("the picture never settled");
}

async function checkDisplay(context, origin, display, outdir, failures) {
  const page = await context.newPage();
  const pageErrors = [];
  page.on("pageerror", (error) => pageErrors.push(String(error)));
  let passed = 0;
  try {
    await page.setViewportSize({ width: display.width, height: display.height });
    await page.goto(`${origin}/`);
    await page.waitForFunction(() => window.markerCheck && window.markerCheck.state !== "loading", null, { timeout: READY_TIMEOUT_MS });
    const state = await page.evaluate(() => window.markerCheck);
    if (state.state !== "ready") throw new Error(`the movie did not start: ${state.error}`);

    let expected = null; // nothing is shown before the first SetTargetPos
    for (const [index, step] of STEPS.entries()) {
      if (step.call) {
        const answer = await page.evaluate((call) => window.markerCheck.invoke(...call), step.call);
        if (answer !== "ok") throw new Error(`${step.call[0]}: ${answer}`);
        const [path, x, y, distance] = step.call;
        expected = path === HIDE ? null : expectedMarker(display, x, y, distance);
      }
      const shot = await settledScreenshot(page);
      const file = join(outdir, `${display.name}-${String(index).padStart(2, "0")}-${step.label}.png`);
      writeFileSync(file, shot);
      const problems = judge(findMarker(decodePng(shot)), expected);
      const what = step.call ? `${step.call[0].split(".").pop()}(${step.call.slice(1).join(", ")})` : "at start";
      if (problems.length === 0) {
        passed++;
        console.log(`ok   ${display.name} ${what}`);
      } else {
        failures.push(`${display.name} ${what}: ${problems.join("; ")} (see ${file})`);
        console.log(`FAIL ${display.name} ${what}: ${problems.join("; ")}`);
      }
    }
  } catch (error) {
    failures.push(`${display.name}: ${error.message}${pageErrors.length ? ` (page errors: ${pageErrors.join(" | ")})` : ""}`);
    console.log(`FAIL ${display.name}: ${error.message}`);
  } finally {
    await page.close();
  }
  return passed;
}

async function main(argv) {
  if (argv.length !== 2) {
    console.error("usage: node check.mjs MOVIE.swf OUTDIR");
    return 2;
  }
  const [moviePath, outdir] = argv.map((p) => resolve(p));
  if (!existsSync(moviePath)) {
    console.error(`FAILED: no movie at ${moviePath}`);
    return 1;
  }
  if (!existsSync(CHROMIUM)) skip(`${CHROMIUM} is not installed (./run test installs Debian's chromium)`);
  if (!existsSync(join(RUFFLE_DIR, "ruffle.js"))) skip(`the Ruffle player is not installed (./run test runs npm ci in ${here})`);
  let chromium;
  try {
    ({ chromium } = await import("playwright-core"));
  } catch (error) {
    // Only a missing package is a reason to skip; a package that fails to load is a fault.
    if (error?.code !== "ERR_MODULE_NOT_FOUND") throw error;
    skip(`playwright-core is not installed (./run test runs npm ci in ${here})`);
  }

  mkdirSync(outdir, { recursive: true });
  const work = mkdtempSync(join(tmpdir(), "marker-check-"));
  const probePath = join(work, "probe.swf");
  const made = spawnSync("python3", [join(here, "make_probe.py"), moviePath, probePath], { encoding: "utf8" });
  if (made.status !== 0) {
    console.error(`FAILED: could not prepare the movie for the page: ${made.error ?? made.stderr}`);
    return 1;
  }

  const server = await serve(readFileSync(probePath));
  const origin = `http://127.0.0.1:${server.address().port}`;
  let context = null;
  const failures = [];
  let passed = 0;
  try {
    context = await chromium.launchPersistentContext(join(work, "profile"), {
      executablePath: CHROMIUM,
      headless: true,
      args: CHROMIUM_ARGS,
      deviceScaleFactor: 1,
    });
    // Nothing but our own server is ever asked for anything.
    await context.route("**/*", (route) =>
      route.request().url().startsWith(`${origin}/`) ? route.continue() : route.abort());
    for (const display of DISPLAYS) passed += await checkDisplay(context, origin, display, outdir, failures);
  } catch (error) {
    failures.push(`the browser: ${error.message}`);
  } finally {
    if (context) await context.close();
    server.close();
    rmSync(work, { recursive: true, force: true });
  }

  if (failures.length > 0) console.log(`FAILED: the marker movie in Ruffle:\n  ${failures.join("\n  ")}`);
  console.log(`screenshots: ${outdir}`);
  console.log(`marker-check: ${passed} passed, ${failures.length} failed`);
  return failures.length > 0 ? 1 : 0;
}

process.exitCode = await main(process.argv.slice(2));
