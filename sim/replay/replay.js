// The replay page: draws each recorded frame as the player saw it, in perspective from the
// game's camera, and plays the real marker movie (TarvekMenu.swf) in Ruffle over it, sent
// exactly the SetTargetPos and Hide calls the record says the marker menu made.
//
// The page opens from disk (file://), where a browser fetches nothing: the record, the movie
// and Ruffle's WebAssembly come as script files beside the page (make_replay.py writes them).
//
// URL options, after '#': frame=N opens at frame N; actual shows the view at the recorded
// screen's own pixel size instead of fitting it to the window.
//
// What a test drives: window.replay.state goes "loading" -> "ready" or "failed";
// replay.show(N) shows frame N (resolved once the movie has been sent its calls);
// replay.setMovieShown(bool) shows or hides the movie's layer.
"use strict";

(() => {
  const record = window.veldrinReplay;
  const frames = record.frames;
  const RUFFLE_FOLDER = "replay/ruffle/";
  const SET_TARGET_POS = "_root.widget.SetTargetPos";
  const HIDE = "_root.widget.Hide";
  const MOVIE_READY_TIMEOUT_MS = 30000;
  const MOVIE_READY_POLL_MS = 50;
  const FRAMES_PER_SECOND = 60; // the stand-in game's frame
  const NEAR_PLANE = 1; // game units in front of the camera

  // The scene's look, in game units: a figure is 128 tall with its chest near 100, as the
  // stand-in's actors carry their aim node.
  const FIGURE = { height: 128, shoulders: 108, hips: 62, headRadius: 11, halfWidth: 17, legSpread: 9 };
  const GROUND = { extent: 60000, gridStep: 100, gridRange: 4000 };
  const COLOURS = {
    sky: ["#5d7c99", "#a9bfd2"],
    ground: "#5b6b4a",
    grid: "rgba(255,255,255,0.10)",
    hostile: "#c0503f",
    friendly: "#4f9c5a",
    dead: "#7a7a7a",
    locked: "#ffd23c",
    name: "#ffffff",
    aim: "rgba(255,255,255,0.7)",
    // The locked actor's aim point, in a colour nothing else on the page uses: the
    // browser test finds it by this colour.
    lockedAim: "#ff00ff",
  };
  const LOCKED_AIM_RADIUS_PX = 3;
  const EVENT_COLOURS = {
    locked: "#ffd23c", switched: "#ff9f3c", released: "#8fb7ff", "marker-shown": "#e0e0e0",
    "marker-hidden": "#9a9a9a", "menu-opened": "#6fd08c", "menu-closed": "#d06f6f", scene: "#c58fff",
  };

  const replay = (window.replay = { state: "loading", error: null, frameCount: frames.length, current: 0 });
  const status = document.getElementById("status");

  function fail(error) {
    replay.state = "failed";
    replay.error = String(error && error.message ? error.message : error);
    status.textContent = `failed: ${replay.error}`;
    status.classList.add("failed");
  }

  // --- Numbers as the record writes them: "nan", "inf" and "-inf" stand for themselves.
  const number = (value) =>
    value === "nan" ? NaN : value === "inf" ? Infinity : value === "-inf" ? -Infinity : value;
  const point = (p) => p.map(number);

  // --- Ruffle from disk: its WebAssembly comes from a script beside it, not from fetch().
  const wasmFiles = (window.veldrinWasm = window.veldrinWasm || {});
  function loadScript(src) {
    return new Promise((done, failed) => {
      const script = document.createElement("script");
      script.src = src;
      script.onload = done;
      script.onerror = () => failed(new Error(`could not load ${src}`));
      document.head.appendChild(script);
    });
  }
  function decodeBase64(text) {
    const binary = atob(text);
    const bytes = new Uint8Array(binary.length);
    for (let i = 0; i < binary.length; i++) bytes[i] = binary.charCodeAt(i);
    return bytes;
  }
  const pageFetch = window.fetch.bind(window);
  window.fetch = async (input, init) => {
    const url = String(input instanceof Request ? input.url : input);
    const name = url.split(/[?#]/)[0].split("/").pop();
    if (url.startsWith("file:") && name.endsWith(".wasm")) {
      if (!(name in wasmFiles)) await loadScript(`${RUFFLE_FOLDER}${name}.js`);
      return new Response(decodeBase64(wasmFiles[name]), { headers: { "Content-Type": "application/wasm" } });
    }
    return pageFetch(input, init);
  };

  // --- The camera: heading from +y toward +x, pitch positive looking down, roll positive
  // turning the camera clockwise about its line of sight; fov is the vertical angle.
  const RADIANS = Math.PI / 180;
  function cameraOf(frame) {
    const c = frame.camera;
    const h = number(c.heading) * RADIANS, p = number(c.pitch) * RADIANS, r = number(c.roll) * RADIANS;
    const forward = [Math.sin(h) * Math.cos(p), Math.cos(h) * Math.cos(p), -Math.sin(p)];
    const right0 = [Math.cos(h), -Math.sin(h), 0];
    const down0 = [-Math.sin(h) * Math.sin(p), -Math.cos(h) * Math.sin(p), -Math.cos(p)];
    const right = right0.map((v, i) => v * Math.cos(r) + down0[i] * Math.sin(r));
    const down = down0.map((v, i) => v * Math.cos(r) - right0[i] * Math.sin(r));
    const [width, height] = frame.screen;
    const tanHalfVertical = Math.tan((number(c.fov) * RADIANS) / 2);
    return { eye: point(c.position), forward, right, down, width, height, tanHalfVertical };
  }
  const dot = (a, b) => a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
  // Camera space: x right, y down, z forward.
  function toCamera(camera, p) {
    const d = [p[0] - camera.eye[0], p[1] - camera.eye[1], p[2] - camera.eye[2]];
    return [dot(d, camera.right), dot(d, camera.down), dot(d, camera.forward)];
  }
  // A camera-space point in front of the near plane to its pixel.
  function toScreen(camera, q) {
    const aspect = camera.width / camera.height;
    return [
      (camera.width / 2) * (1 + q[0] / (q[2] * camera.tanHalfVertical * aspect)),
      (camera.height / 2) * (1 + q[1] / (q[2] * camera.tanHalfVertical)),
    ];
  }
  function project(camera, p) {
    const q = toCamera(camera, p);
    return q[2] > NEAR_PLANE ? toScreen(camera, q) : null;
  }
  // A polygon (world points) cut to the part in front of the near plane, in pixels.
  function projectPolygon(camera, points) {
    const q = points.map((p) => toCamera(camera, p));
    const kept = [];
    for (let i = 0; i < q.length; i++) {
      const a = q[i], b = q[(i + 1) % q.length];
      const aIn = a[2] > NEAR_PLANE, bIn = b[2] > NEAR_PLANE;
      if (aIn) kept.push(a);
      if (aIn !== bIn) {
        const t = (NEAR_PLANE - a[2]) / (b[2] - a[2]);
        kept.push([a[0] + (b[0] - a[0]) * t, a[1] + (b[1] - a[1]) * t, NEAR_PLANE]);
      }
    }
    return kept.map((p) => toScreen(camera, p));
  }

  // --- Drawing a frame of the player's view.
  const scene = document.getElementById("scene");
  const context = scene.getContext("2d");

  function drawGround(camera, groundZ) {
    const { width, height } = camera;
    const sky = context.createLinearGradient(0, 0, 0, height);
    sky.addColorStop(0, COLOURS.sky[0]);
    sky.addColorStop(1, COLOURS.sky[1]);
    context.fillStyle = sky;
    context.fillRect(0, 0, width, height);
    const [ex, ey] = camera.eye;
    const e = GROUND.extent;
    const ground = projectPolygon(camera, [
      [ex - e, ey - e, groundZ], [ex + e, ey - e, groundZ], [ex + e, ey + e, groundZ], [ex - e, ey + e, groundZ],
    ]);
    if (ground.length >= 3) {
      context.fillStyle = COLOURS.ground;
      context.beginPath();
      ground.forEach(([x, y], i) => (i ? context.lineTo(x, y) : context.moveTo(x, y)));
      context.fill();
    }
    context.strokeStyle = COLOURS.grid;
    context.lineWidth = 1;
    const step = GROUND.gridStep, range = GROUND.gridRange;
    const startX = Math.round((ex - range) / step) * step, startY = Math.round((ey - range) / step) * step;
    for (let i = 0; i <= (2 * range) / step; i++) {
      for (const [a, b] of [
        [[startX + i * step, startY, groundZ], [startX + i * step, startY + 2 * range, groundZ]],
        [[startX, startY + i * step, groundZ], [startX + 2 * range, startY + i * step, groundZ]],
      ]) {
        const line = projectPolygon(camera, [a, b]);
        if (line.length < 2) continue;
        context.beginPath();
        context.moveTo(...line[0]);
        context.lineTo(...line[1]);
        context.stroke();
      }
    }
  }

  // Pixels per game unit at a camera-space depth.
  const scaleAt = (camera, depth) => camera.height / 2 / (depth * camera.tanHalfVertical);

  function drawFigure(camera, actor) {
    const [x, y, z] = point(actor.position);
    const colour = actor.dead ? COLOURS.dead : actor.hostile ? COLOURS.hostile : COLOURS.friendly;
    const q = toCamera(camera, [x, y, z + FIGURE.hips]);
    if (q[2] <= NEAR_PLANE) return;
    const unit = scaleAt(camera, q[2]);
    const along = (height) => project(camera, [x, y, z + height]);
    context.lineCap = "round";
    context.lineJoin = "round";
    let labelAt;
    if (actor.dead) {
      // Fallen: lying on the ground across the view, head to the right.
      const side = [camera.right[0], camera.right[1], 0];
      const length = Math.hypot(side[0], side[1]) || 1;
      const at = (t, lift) => project(camera, [x + (side[0] / length) * t, y + (side[1] / length) * t, z + lift]);
      const feet = at(0, 6), head = at(FIGURE.height - FIGURE.headRadius, 8);
      if (!feet || !head) return;
      context.strokeStyle = colour;
      context.lineWidth = Math.max(2, 2 * FIGURE.halfWidth * unit * 0.5);
      context.beginPath();
      context.moveTo(...feet);
      context.lineTo(...head);
      context.stroke();
      context.fillStyle = colour;
      context.beginPath();
      context.arc(head[0], head[1], Math.max(2, FIGURE.headRadius * unit), 0, 2 * Math.PI);
      context.fill();
      labelAt = [head[0], head[1] - FIGURE.headRadius * unit - 4];
    } else {
      const feet = along(0), hips = along(FIGURE.hips), shoulders = along(FIGURE.shoulders);
      const head = along(FIGURE.height - FIGURE.headRadius);
      if (!feet || !hips || !shoulders || !head) return;
      const w = FIGURE.halfWidth * unit, spread = FIGURE.legSpread * unit;
      if (actor.locked) {
        context.strokeStyle = COLOURS.locked;
        context.lineWidth = Math.max(3, 0.5 * w);
        context.strokeRect(feet[0] - 2 * w, head[1] - 2 * FIGURE.headRadius * unit, 4 * w,
          feet[1] - head[1] + 3 * FIGURE.headRadius * unit);
      }
      context.strokeStyle = colour;
      context.fillStyle = colour;
      context.lineWidth = Math.max(2, 0.45 * w);
      context.beginPath(); // legs
      context.moveTo(feet[0] - spread, feet[1]);
      context.lineTo(hips[0], hips[1]);
      context.lineTo(feet[0] + spread, feet[1]);
      context.stroke();
      context.beginPath(); // body
      context.moveTo(hips[0] - 0.7 * w, hips[1]);
      context.lineTo(shoulders[0] - w, shoulders[1]);
      context.lineTo(shoulders[0] + w, shoulders[1]);
      context.lineTo(hips[0] + 0.7 * w, hips[1]);
      context.closePath();
      context.fill();
      context.beginPath(); // arms
      context.moveTo(shoulders[0] - w, shoulders[1]);
      context.lineTo(hips[0] - 1.3 * w, hips[1]);
      context.moveTo(shoulders[0] + w, shoulders[1]);
      context.lineTo(hips[0] + 1.3 * w, hips[1]);
      context.stroke();
      context.beginPath(); // head
      context.arc(head[0], head[1], Math.max(2, FIGURE.headRadius * unit), 0, 2 * Math.PI);
      context.fill();
      labelAt = [head[0], head[1] - FIGURE.headRadius * unit - 6];
    }
    context.font = `${actor.locked ? "bold " : ""}${Math.round(Math.max(12, Math.min(22, 14 * unit)))}px sans-serif`;
    context.textAlign = "center";
    context.textBaseline = "bottom";
    context.lineWidth = 3;
    context.strokeStyle = "rgba(0,0,0,0.6)";
    context.strokeText(actor.name, ...labelAt);
    context.fillStyle = actor.locked ? COLOURS.locked : COLOURS.name;
    context.fillText(actor.name, ...labelAt);
  }

  function drawAimPoint(camera, actor) {
    if (!actor.aim) return;
    const at = project(camera, point(actor.aim));
    if (!at) return;
    context.beginPath();
    if (actor.locked) {
      context.fillStyle = COLOURS.lockedAim;
      context.arc(at[0], at[1], LOCKED_AIM_RADIUS_PX, 0, 2 * Math.PI);
      context.fill();
    } else {
      context.fillStyle = COLOURS.aim;
      context.arc(at[0], at[1], 2, 0, 2 * Math.PI);
      context.fill();
    }
  }

  function drawView(frame) {
    const camera = cameraOf(frame);
    if (scene.width !== camera.width || scene.height !== camera.height) {
      scene.width = camera.width;
      scene.height = camera.height;
    }
    const groundZ = number(frame.player.position[2]);
    drawGround(camera, groundZ);
    const shown = frame.actors
      .filter((actor) => actor.loaded)
      .map((actor) => ({ actor, depth: toCamera(camera, point(actor.position))[2] }))
      .sort((a, b) => b.depth - a.depth);
    for (const { actor } of shown) drawFigure(camera, actor);
    for (const { actor } of shown) drawAimPoint(camera, actor);
  }

  // --- The view from above, in step with the frame.
  const map = document.getElementById("map");
  const mapContext = map.getContext("2d");
  const mapBox = (() => {
    let minX = Infinity, maxX = -Infinity, minY = Infinity, maxY = -Infinity;
    const take = (p) => {
      const [x, y] = point(p);
      if (!Number.isFinite(x) || !Number.isFinite(y)) return;
      minX = Math.min(minX, x); maxX = Math.max(maxX, x); minY = Math.min(minY, y); maxY = Math.max(maxY, y);
    };
    for (const frame of frames) {
      take(frame.player.position);
      for (const actor of frame.actors) take(actor.position);
    }
    if (!Number.isFinite(minX)) { minX = minY = -500; maxX = maxY = 500; }
    const MARGIN = 150;
    const size = Math.max(maxX - minX, maxY - minY) + 2 * MARGIN;
    return { cx: (minX + maxX) / 2, cy: (minY + maxY) / 2, size };
  })();
  function toMap(p) {
    const s = map.width / mapBox.size;
    return [map.width / 2 + (p[0] - mapBox.cx) * s, map.height / 2 - (p[1] - mapBox.cy) * s];
  }
  function drawMap(frame) {
    const c = mapContext;
    c.clearRect(0, 0, map.width, map.height);
    const eye = toMap(point(frame.camera.position));
    const heading = number(frame.camera.heading) * RADIANS;
    const [width, height] = frame.screen;
    const halfHorizontal = Math.atan(Math.tan((number(frame.camera.fov) * RADIANS) / 2) * (width / (height || 1)));
    const reach = map.width;
    c.fillStyle = "rgba(255,255,255,0.08)";
    c.beginPath();
    c.moveTo(...eye);
    for (const a of [heading - halfHorizontal, heading + halfHorizontal])
      c.lineTo(eye[0] + Math.sin(a) * reach, eye[1] - Math.cos(a) * reach);
    c.fill();
    const target = frame.actors.find((actor) => actor.locked);
    if (target) {
      c.strokeStyle = COLOURS.locked;
      c.lineWidth = 2;
      c.beginPath();
      c.moveTo(...eye);
      c.lineTo(...toMap(point(target.position)));
      c.stroke();
    }
    for (const actor of frame.actors) {
      const [x, y] = toMap(point(actor.position));
      c.globalAlpha = actor.loaded ? 1 : 0.3;
      c.fillStyle = actor.dead ? COLOURS.dead : actor.hostile ? COLOURS.hostile : COLOURS.friendly;
      c.beginPath();
      c.arc(x, y, 6, 0, 2 * Math.PI);
      c.fill();
      if (actor.locked) {
        c.strokeStyle = COLOURS.locked;
        c.lineWidth = 2;
        c.beginPath();
        c.arc(x, y, 10, 0, 2 * Math.PI);
        c.stroke();
      }
      c.fillStyle = COLOURS.name;
      c.font = "12px sans-serif";
      c.textAlign = "left";
      c.fillText(actor.name + (actor.dead ? " (dead)" : ""), x + 9, y - 6);
      c.globalAlpha = 1;
    }
    const playerAt = toMap(point(frame.player.position));
    const facing = number(frame.player.heading) * RADIANS;
    c.fillStyle = "#ffffff";
    c.beginPath();
    c.moveTo(playerAt[0] + Math.sin(facing) * 12, playerAt[1] - Math.cos(facing) * 12);
    c.lineTo(playerAt[0] + Math.sin(facing + 2.5) * 8, playerAt[1] - Math.cos(facing + 2.5) * 8);
    c.lineTo(playerAt[0] + Math.sin(facing - 2.5) * 8, playerAt[1] - Math.cos(facing - 2.5) * 8);
    c.fill();
  }

  // --- What the frame says, beside the view.
  const facts = document.getElementById("facts");
  function format(value, digits = 1) {
    const n = number(value);
    return Number.isFinite(n) ? n.toFixed(digits) : String(n);
  }
  function describeCall(call) {
    return `${call.path.split(".").pop()}(${call.args.map((a) => format(a, 2)).join(", ")})`;
  }
  function showFacts(frame) {
    const rows = [
      ["frame", `${frame.frame} of ${frames.length}`],
      ["target", frame.target ?? "none"],
      ["movie calls", frame.movieCalls.map(describeCall).join(", ") || "none"],
      ["marker menu", frame.menuOpen ? (frame.movieVisible ? "open" : "open, movie hidden by the game") : "closed"],
      ["camera", `${frame.camera.mode} person at (${point(frame.camera.position).map((v) => format(v, 0)).join(", ")})`],
      ["view", `heading ${format(frame.camera.heading)}°, pitch ${format(frame.camera.pitch)}°, roll ${format(frame.camera.roll)}°, fov ${format(frame.camera.fov)}°`],
      ["screen", `${frame.screen[0]} × ${frame.screen[1]}`],
    ];
    facts.replaceChildren(...rows.flatMap(([term, value]) => {
      const dt = document.createElement("dt"), dd = document.createElement("dd");
      dt.textContent = term;
      dd.textContent = value;
      return [dt, dd];
    }));
  }

  // --- The marker movie. The game loads a fresh movie each time it opens the marker menu;
  // the page does the same, then sends it each frame's calls in order. To go back, it
  // loads the movie again and sends the calls from the menu's opening up to the frame.
  const layer = document.getElementById("movie-layer");
  let player = null;
  let movieOpenedAt = 0; // the frame whose menu the loaded movie belongs to (0: none loaded)
  let callsSentUpTo = 0;

  const openingOf = (index) => {
    if (!frames[index - 1].menuOpen) return 0;
    let first = index;
    while (first > 1 && frames[first - 2].menuOpen) first--;
    return first;
  };

  async function loadMovie() {
    if (!player) {
      player = window.RufflePlayer.newest().createPlayer();
      layer.appendChild(player);
    }
    await player.ruffle().load({
      data: decodeBase64(window.veldrinMovie).buffer,
      swfFileName: "TarvekMenu.swf",
      autoplay: "on",
      unmuteOverlay: "hidden",
      splashScreen: false,
      contextMenu: "off",
      letterbox: "off",
      // The game's loader asks for no scaling; the movie stretches itself (exactFit).
      scale: "noScale",
      forceScale: false,
      wmode: "transparent",
      allowScriptAccess: true,
      warnOnUnsupportedContent: false,
    });
    const call = (...args) => player.ruffle().callExternalInterface(...args);
    const deadline = Date.now() + MOVIE_READY_TIMEOUT_MS;
    for (;;) {
      let types = [];
      try {
        types = [SET_TARGET_POS, HIDE].map((path) => call("typeOfPath", path));
      } catch (e) {
        // not registered before the movie's first frame
      }
      if (types.every((t) => t === "function")) return;
      if (Date.now() > deadline) throw new Error(`the movie never defined its functions (typeof: ${types.join(", ")})`);
      await new Promise((resolve) => setTimeout(resolve, MOVIE_READY_POLL_MS));
    }
  }

  function send(frame) {
    for (const call of frame.movieCalls) {
      const answer = player.ruffle().callExternalInterface("invokePath", call.path, ...call.args.map(number));
      if (answer !== "ok") throw new Error(`frame ${frame.frame}: ${call.path}: ${answer}`);
    }
  }

  async function bringMovieTo(index) {
    const opening = openingOf(index);
    if (opening === 0) return; // no marker menu, no movie on screen
    if (opening !== movieOpenedAt || index < callsSentUpTo) {
      await loadMovie();
      movieOpenedAt = opening;
      callsSentUpTo = opening - 1;
    }
    for (let i = callsSentUpTo + 1; i <= index; i++) send(frames[i - 1]);
    callsSentUpTo = index;
  }

  // --- Showing a frame. Requests are handled one at a time; the latest one wins.
  const movieShown = document.getElementById("movie-shown");
  const frameLabel = document.getElementById("frame-label");
  const scrub = document.getElementById("scrub");
  let showing = Promise.resolve();
  let wanted = 0;

  function paint(index) {
    const frame = frames[index - 1];
    replay.current = index;
    fitView();
    drawView(frame);
    drawMap(frame);
    showFacts(frame);
    layer.classList.toggle("hidden", !(frame.menuOpen && frame.movieVisible && movieShown.checked));
    frameLabel.textContent = `frame ${frame.frame} / ${frames.length}`;
    scrub.value = String(index);
    for (const item of eventItems) item.li.classList.toggle("current", item.frame === index);
  }

  replay.show = (index) => {
    wanted = Math.min(Math.max(1, Math.round(index)), frames.length);
    showing = showing.then(async () => {
      const index = wanted;
      if (index === replay.current && callsSentUpTo >= index) return;
      await bringMovieTo(index);
      paint(index);
      replay.current = index;
    }).catch(fail);
    return showing;
  };
  replay.setMovieShown = (shown) => {
    movieShown.checked = shown;
    if (replay.current) paint(replay.current);
  };
  movieShown.addEventListener("change", () => replay.setMovieShown(movieShown.checked));

  // --- The timeline: play and pause, speed, stepping, and the story's events.
  const eventItems = [];
  function buildTimeline() {
    scrub.max = String(frames.length);
    const ticks = document.getElementById("ticks");
    const list = document.getElementById("events");
    for (const event of record.events) {
      const frame = Math.min(Math.max(1, event.frame), frames.length);
      const colour = EVENT_COLOURS[event.kind] ?? "#ffffff";
      const tick = document.createElement("button");
      tick.className = "tick";
      tick.style.left = `${frames.length > 1 ? ((frame - 1) / (frames.length - 1)) * 100 : 0}%`;
      tick.style.background = colour;
      tick.title = `frame ${frame}: ${event.text}`;
      tick.addEventListener("click", () => { pause(); replay.show(frame); });
      ticks.appendChild(tick);
      const li = document.createElement("li");
      const button = document.createElement("button");
      const swatch = document.createElement("span");
      swatch.className = "kind";
      swatch.style.background = colour;
      button.append(swatch, `frame ${frame}: ${event.text}`);
      button.addEventListener("click", () => { pause(); replay.show(frame); });
      li.appendChild(button);
      list.appendChild(li);
      eventItems.push({ li, frame });
    }
    scrub.addEventListener("input", () => { pause(); replay.show(Number(scrub.value)); });
    const step = (by) => { pause(); replay.show((wanted || replay.current) + by); };
    document.getElementById("back").addEventListener("click", () => step(-1));
    document.getElementById("forward").addEventListener("click", () => step(1));
    document.getElementById("first").addEventListener("click", () => { pause(); replay.show(1); });
    document.getElementById("last").addEventListener("click", () => { pause(); replay.show(frames.length); });
    document.getElementById("play").addEventListener("click", () => (playing ? pause() : play()));
    document.addEventListener("keydown", (event) => {
      if (event.target instanceof HTMLSelectElement || event.target instanceof HTMLInputElement && event.target.type !== "range") return;
      const keys = { ArrowLeft: () => step(-1), ArrowRight: () => step(1), " ": () => (playing ? pause() : play()),
        Home: () => { pause(); replay.show(1); }, End: () => { pause(); replay.show(frames.length); } };
      if (keys[event.key]) { event.preventDefault(); keys[event.key](); }
    });
  }

  let playing = false, playClock = 0, playFrom = 0;
  const speed = document.getElementById("speed");
  function play() {
    if (replay.current >= frames.length) replay.show(1);
    playing = true;
    playClock = performance.now();
    playFrom = wanted || replay.current || 1;
    document.getElementById("play").textContent = "pause";
    requestAnimationFrame(tick);
  }
  function pause() {
    playing = false;
    document.getElementById("play").textContent = "play";
  }
  speed.addEventListener("change", () => { if (playing) { playClock = performance.now(); playFrom = wanted; } });
  function tick(now) {
    if (!playing) return;
    const next = playFrom + Math.floor(((now - playClock) / 1000) * FRAMES_PER_SECOND * Number(speed.value));
    if (next !== wanted) replay.show(next);
    if (next >= frames.length) return pause();
    requestAnimationFrame(tick);
  }

  // --- The view's size: the recorded screen's pixels, fitted to the column unless asked not to.
  const options = new URLSearchParams(location.hash.slice(1));
  const viewFrame = document.getElementById("view-frame");
  const view = document.getElementById("view");
  function fitView() {
    const frame = frames[(replay.current || 1) - 1];
    const [width, height] = frame.screen;
    view.style.width = `${width}px`;
    view.style.height = `${height}px`;
    layer.style.width = `${width}px`;
    layer.style.height = `${height}px`;
    const scale = options.has("actual") ? 1 : Math.min(1, viewFrame.parentElement.clientWidth / (width || 1));
    view.style.transform = scale === 1 ? "" : `scale(${scale})`;
    viewFrame.style.width = `${width * scale}px`;
    viewFrame.style.height = `${height * scale}px`;
  }
  window.addEventListener("resize", fitView);

  async function start() {
    if (!frames.length) throw new Error("the record has no frames");
    buildTimeline();
    fitView();
    window.RufflePlayer = window.RufflePlayer || {};
    window.RufflePlayer.config = { publicPath: RUFFLE_FOLDER, polyfills: false };
    await loadScript(`${RUFFLE_FOLDER}ruffle.js`);
    await replay.show(Number(options.get("frame")) || 1);
    if (replay.state === "failed") return;
    fitView();
    replay.state = "ready";
    status.textContent = `${record.scenario}: ${frames.length} frames; the marker is TarvekMenu.swf in Ruffle, sent the record's calls`;
  }
  start().catch(fail);
})();
