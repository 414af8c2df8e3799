// The run's viewer: unpacks the frames the page carries (FramePack.h gives
// their layout), draws them with WebGL2 as the window draws a world (floor,
// goal marker, cubes with their shadows, white links) and gives the controls.
// The page marks itself on <html>: data-ready="1" once the first frame is
// drawn, data-open-ms the milliseconds that took, data-step and data-nodes
// for the frame on show, data-errors for the errors it met. "#frame=K" in the address shows the K-th frame, paused;
// "#bench=S" plays without pause for S seconds and sets data-fps.
"use strict";
(function () {
  const root = document.documentElement;
  const $ = (id) => document.getElementById(id);
  const errors = [];

  function fail(text) {
    errors.push(String(text));
    root.dataset.errors = String(errors.length);
    const m = $("qm-message");
    m.textContent = "This run cannot be shown: " + errors[0];
    m.hidden = false;
    console.error(String(text));
  }
  window.addEventListener("error", (e) => fail(e.message));
  window.addEventListener("unhandledrejection", (e) => fail(e.reason && e.reason.message ? e.reason.message : e.reason));

  // The window's scene, in world units: the floor it draws (half a unit under
  // the world's), the light's direction, the cube's edge.
  const kFloorY = -25.5, kFloorHalf = 500, kNodeSize = 1, kGoalSize = 3;
  const kLight = normalise([1, -1.5, -0.5]);  // (1, -1.5, 0.5) with z turned: the page's z is the world's -z

  async function inflate(base64) {
    const text = atob(base64.trim());
    const bytes = new Uint8Array(text.length);
    for (let i = 0; i < text.length; ++i) bytes[i] = text.charCodeAt(i);
    const stream = new Blob([bytes]).stream().pipeThrough(new DecompressionStream("deflate"));
    return new Uint8Array(await new Response(stream).arrayBuffer());
  }

  function halfToFloat(h) {
    const s = h & 0x8000 ? -1 : 1, e = (h >> 10) & 0x1f, m = h & 0x3ff;
    if (e === 0) return s * m * Math.pow(2, -24);
    if (e === 31) return m ? NaN : s * Infinity;
    return s * (1 + m / 1024) * Math.pow(2, e - 15);
  }

  // The packed frames back into whole arrays: every node of every frame.
  function unpack(bytes) {
    const view = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
    if (String.fromCharCode(...bytes.subarray(0, 4)) !== "QMRP" || view.getUint32(4, true) !== 1)
      throw new Error("its frames are not in a layout this page reads");
    const frames = view.getUint32(8, true), ids = view.getUint32(12, true);
    const low = [0, 1, 2].map((i) => view.getFloat32(16 + 4 * i, true));
    const high = [0, 1, 2].map((i) => view.getFloat32(28 + 4 * i, true));
    let at = 40;
    const run = { frames, steps: new Float64Array(frames), nodeStart: new Uint32Array(frames + 1),
                  nodeCount: new Uint32Array(frames), linkStart: new Uint32Array(frames + 1),
                  linkCount: new Uint32Array(frames) };
    for (let f = 0; f < frames; ++f, at += 16) {
      run.steps[f] = view.getFloat64(at, true);
      run.nodeCount[f] = view.getUint32(at + 8, true);
      run.linkCount[f] = view.getUint32(at + 12, true);
      run.nodeStart[f + 1] = run.nodeStart[f] + run.nodeCount[f];
      run.linkStart[f + 1] = run.linkStart[f] + run.linkCount[f];
    }
    const n = run.nodeStart[frames], l = run.linkStart[frames];
    const align = () => { at = (at + 3) & ~3; };
    run.lineage = new Int32Array(bytes.buffer, bytes.byteOffset + at, ids * 2); at += ids * 8;
    const idSteps = new Uint32Array(bytes.buffer, bytes.byteOffset + at, n); at += n * 4;
    const posSteps = new Uint16Array(bytes.buffer, bytes.byteOffset + at, n * 3); at += n * 6; align();
    const colourSteps = new Uint8Array(bytes.buffer, bytes.byteOffset + at, n * 3); at += n * 3; align();
    const paramSteps = new Uint16Array(bytes.buffer, bytes.byteOffset + at, n * 10); at += n * 20;
    const linkSteps = new Uint32Array(bytes.buffer, bytes.byteOffset + at, l * 2); at += l * 8;
    if (at > bytes.byteLength) throw new Error("its frames are cut short");

    run.ids = new Int32Array(n);
    run.pos = new Float32Array(n * 3);
    run.colour = new Uint8Array(n * 3);
    run.param = new Uint16Array(n * 10);
    run.links = new Uint32Array(l * 2);
    const lastPos = new Uint16Array(ids * 3), lastColour = new Uint8Array(ids * 3), lastParam = new Uint16Array(ids * 10);
    const scale = [0, 1, 2].map((i) => (high[i] - low[i]) / 65535);
    for (let f = 0; f < frames; ++f) {
      let id = 0;
      for (let k = run.nodeStart[f]; k < run.nodeStart[f + 1]; ++k) {
        id += idSteps[k];
        run.ids[k] = id;
        for (let i = 0; i < 3; ++i) {
          const q = (lastPos[id * 3 + i] = (lastPos[id * 3 + i] + posSteps[k * 3 + i]) & 0xffff);
          // The page's z is the world's -z: the window's left-handed scene, unmirrored.
          run.pos[k * 3 + i] = (i === 2 ? -1 : 1) * (low[i] + q * scale[i]);
          run.colour[k * 3 + i] = lastColour[id * 3 + i] = (lastColour[id * 3 + i] + colourSteps[k * 3 + i]) & 0xff;
        }
        for (let i = 0; i < 10; ++i)
          run.param[k * 10 + i] = lastParam[id * 10 + i] = (lastParam[id * 10 + i] + paramSteps[k * 10 + i]) & 0xffff;
      }
      let a = 0;
      for (let k = run.linkStart[f]; k < run.linkStart[f + 1]; ++k) {
        a += linkSteps[k * 2];
        run.links[k * 2] = a;
        run.links[k * 2 + 1] = a + linkSteps[k * 2 + 1];
      }
    }
    return run;
  }

  // Small matrix helpers (column-major, as WebGL takes them).
  function normalise(v) { const l = Math.hypot(v[0], v[1], v[2]) || 1; return [v[0] / l, v[1] / l, v[2] / l]; }
  function cross(a, b) { return [a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]]; }
  function dot(a, b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
  function multiply(a, b) {
    const o = new Float32Array(16);
    for (let c = 0; c < 4; ++c)
      for (let r = 0; r < 4; ++r)
        o[c * 4 + r] = a[r] * b[c * 4] + a[4 + r] * b[c * 4 + 1] + a[8 + r] * b[c * 4 + 2] + a[12 + r] * b[c * 4 + 3];
    return o;
  }
  function perspective(fov, aspect, near, far) {
    const f = 1 / Math.tan(fov / 2), d = near - far;
    return new Float32Array([f / aspect, 0, 0, 0, 0, f, 0, 0, 0, 0, (far + near) / d, -1, 0, 0, (2 * far * near) / d, 0]);
  }
  function lookAt(eye, target) {
    const z = normalise([eye[0] - target[0], eye[1] - target[1], eye[2] - target[2]]);
    const x = normalise(cross([0, 1, 0], z)), y = cross(z, x);
    return new Float32Array([x[0], y[0], z[0], 0, x[1], y[1], z[1], 0, x[2], y[2], z[2], 0,
                             -dot(x, eye), -dot(y, eye), -dot(z, eye), 1]);
  }

  const kCubeShader = `#version 300 es
    in vec3 corner; in vec3 normal; in vec3 offset; in vec3 colour;
    uniform mat4 viewProj; uniform float size; uniform bool shadow; uniform vec3 light; uniform float floorY;
    out vec3 shade;
    void main() {
      vec3 p = offset + corner * size;
      if (shadow) {
        p -= light * ((p.y - floorY) / light.y);  // along the light onto the floor
        p.y = floorY + 0.02;
        shade = vec3(0.0);
      } else {
        shade = colour * min(1.0, 0.333 + max(dot(normal, -light), 0.0));  // the window's ambient 0x55 and its white light
      }
      gl_Position = viewProj * vec4(p, 1.0);
    }`;
  const kFlatShader = `#version 300 es
    in vec3 position; uniform mat4 viewProj; out vec3 world;
    void main() { world = position; gl_Position = viewProj * vec4(position, 1.0); }`;
  const kColourFragment = `#version 300 es
    precision mediump float; in vec3 shade; uniform float alpha; out vec4 colour;
    void main() { colour = vec4(shade, alpha); }`;
  const kFloorFragment = `#version 300 es
    precision mediump float; in vec3 world; uniform vec4 tint; out vec4 colour;
    void main() {
      if (tint.a > 0.0) { colour = tint; return; }
      float check = mod(floor(world.x / 20.0) + floor(world.z / 20.0), 2.0);
      colour = vec4(mix(vec3(0.55, 0.62, 0.47), vec3(0.62, 0.69, 0.53), check), 1.0);
    }`;

  function program(gl, vertex, fragment) {
    const p = gl.createProgram();
    for (const [type, text] of [[gl.VERTEX_SHADER, vertex], [gl.FRAGMENT_SHADER, fragment]]) {
      const s = gl.createShader(type);
      gl.shaderSource(s, text);
      gl.compileShader(s);
      if (!gl.getShaderParameter(s, gl.COMPILE_STATUS)) throw new Error(gl.getShaderInfoLog(s));
      gl.attachShader(p, s);
    }
    gl.linkProgram(p);
    if (!gl.getProgramParameter(p, gl.LINK_STATUS)) throw new Error(gl.getProgramInfoLog(p));
    const where = {};
    for (let i = gl.getProgramParameter(p, gl.ACTIVE_UNIFORMS) - 1; i >= 0; --i) {
      const name = gl.getActiveUniform(p, i).name;
      where[name] = gl.getUniformLocation(p, name);
    }
    for (let i = gl.getProgramParameter(p, gl.ACTIVE_ATTRIBUTES) - 1; i >= 0; --i) {
      const name = gl.getActiveAttrib(p, i).name;
      where[name] = gl.getAttribLocation(p, name);
    }
    return { p, where };
  }

  // A unit cube centred on its origin: 36 corners with their faces' normals.
  function cubeCorners() {
    const out = [];
    const faces = [[0, 1], [0, -1], [1, 1], [1, -1], [2, 1], [2, -1]];
    for (const [axis, sign] of faces) {
      const u = (axis + 1) % 3, v = (axis + 2) % 3;
      const quad = [[-1, -1], [1, -1], [1, 1], [-1, -1], [1, 1], [-1, 1]];
      for (const [a, b] of quad) {
        const c = [0, 0, 0], n = [0, 0, 0];
        c[axis] = 0.5 * sign; c[u] = 0.5 * a; c[v] = 0.5 * b; n[axis] = sign;
        out.push(...c, ...n);
      }
    }
    return new Float32Array(out);
  }

  function Viewer(run, manifest) {
    const canvas = $("qm-view");
    const gl = canvas.getContext("webgl2", { alpha: false, antialias: true, preserveDrawingBuffer: true });
    if (!gl) throw new Error("this browser gives no WebGL2");
    const cube = program(gl, kCubeShader, kColourFragment);
    const flat = program(gl, kFlatShader, kFloorFragment);

    const cubeBuffer = gl.createBuffer(), offsetBuffer = gl.createBuffer(), colourBuffer = gl.createBuffer();
    const lineBuffer = gl.createBuffer(), floorBuffer = gl.createBuffer(), goalBuffer = gl.createBuffer();
    gl.bindBuffer(gl.ARRAY_BUFFER, cubeBuffer);
    gl.bufferData(gl.ARRAY_BUFFER, cubeCorners(), gl.STATIC_DRAW);
    const h = kFloorHalf;
    gl.bindBuffer(gl.ARRAY_BUFFER, floorBuffer);
    gl.bufferData(gl.ARRAY_BUFFER, new Float32Array([-h, kFloorY, -h, h, kFloorY, -h, h, kFloorY, h,
                                                     -h, kFloorY, -h, h, kFloorY, h, -h, kFloorY, h]), gl.STATIC_DRAW);

    const goal = (manifest.options && manifest.options.goal) || [0, -25, 250];
    const goalAt = [goal[0], goal[1], -goal[2]];
    gl.bindBuffer(gl.ARRAY_BUFFER, goalBuffer);
    gl.bufferData(gl.ARRAY_BUFFER, new Float32Array([...goalAt, 0.9, 0.7, 0.16]), gl.STATIC_DRAW);  // a gold cube

    const cubeVao = gl.createVertexArray(), goalVao = gl.createVertexArray();
    for (const [vao, offsets, colours, type] of [[cubeVao, offsetBuffer, colourBuffer, gl.UNSIGNED_BYTE],
                                                 [goalVao, goalBuffer, goalBuffer, gl.FLOAT]]) {
      gl.bindVertexArray(vao);
      gl.bindBuffer(gl.ARRAY_BUFFER, cubeBuffer);
      gl.enableVertexAttribArray(cube.where.corner);
      gl.vertexAttribPointer(cube.where.corner, 3, gl.FLOAT, false, 24, 0);
      gl.enableVertexAttribArray(cube.where.normal);
      gl.vertexAttribPointer(cube.where.normal, 3, gl.FLOAT, false, 24, 12);
      gl.bindBuffer(gl.ARRAY_BUFFER, offsets);
      gl.enableVertexAttribArray(cube.where.offset);
      gl.vertexAttribPointer(cube.where.offset, 3, gl.FLOAT, false, 0, 0);
      gl.vertexAttribDivisor(cube.where.offset, 1);
      gl.bindBuffer(gl.ARRAY_BUFFER, colours);
      gl.enableVertexAttribArray(cube.where.colour);
      if (type === gl.FLOAT) gl.vertexAttribPointer(cube.where.colour, 3, gl.FLOAT, false, 0, 12);
      else gl.vertexAttribPointer(cube.where.colour, 3, gl.UNSIGNED_BYTE, true, 0, 0);
      gl.vertexAttribDivisor(cube.where.colour, 1);
    }
    gl.bindVertexArray(null);

    const camera = { target: [0, 0, 0], yaw: 0, pitch: 0.5, distance: 40 };
    const state = { frame: -1, playing: false, follow: true, selected: -1, lines: new Float32Array(0) };

    function centroid(f) {
      const c = [0, 0, 0];
      let count = 0;
      for (let k = run.nodeStart[f]; k < run.nodeStart[f + 1]; ++k) {
        const x = run.pos[k * 3], y = run.pos[k * 3 + 1], z = run.pos[k * 3 + 2];
        if (!Number.isFinite(x + y + z)) continue;
        c[0] += x; c[1] += y; c[2] += z; ++count;
      }
      return count ? c.map((v) => v / count) : c;
    }

    function eye() {
      const c = Math.cos(camera.pitch);
      return [camera.target[0] + camera.distance * c * Math.sin(camera.yaw),
              camera.target[1] + camera.distance * Math.sin(camera.pitch),
              camera.target[2] + camera.distance * c * Math.cos(camera.yaw)];
    }

    function viewProj() {
      const aspect = canvas.width / Math.max(canvas.height, 1);
      return multiply(perspective(Math.PI / 4, aspect, 0.5, 5000), lookAt(eye(), camera.target));
    }

    function resize() {
      const scale = window.devicePixelRatio || 1;
      const w = Math.max(1, Math.round(canvas.clientWidth * scale)), hgt = Math.max(1, Math.round(canvas.clientHeight * scale));
      if (canvas.width !== w || canvas.height !== hgt) { canvas.width = w; canvas.height = hgt; }
    }

    function upload(f) {
      const a = run.nodeStart[f], b = run.nodeStart[f + 1];
      gl.bindBuffer(gl.ARRAY_BUFFER, offsetBuffer);
      gl.bufferData(gl.ARRAY_BUFFER, run.pos.subarray(a * 3, b * 3), gl.DYNAMIC_DRAW);
      gl.bindBuffer(gl.ARRAY_BUFFER, colourBuffer);
      gl.bufferData(gl.ARRAY_BUFFER, run.colour.subarray(a * 3, b * 3), gl.DYNAMIC_DRAW);
      const links = run.linkCount[f];
      if (state.lines.length < links * 6) state.lines = new Float32Array(links * 6);
      for (let k = 0; k < links; ++k) {
        const i = a + run.links[(run.linkStart[f] + k) * 2], j = a + run.links[(run.linkStart[f] + k) * 2 + 1];
        state.lines.set(run.pos.subarray(i * 3, i * 3 + 3), k * 6);
        state.lines.set(run.pos.subarray(j * 3, j * 3 + 3), k * 6 + 3);
      }
      gl.bindBuffer(gl.ARRAY_BUFFER, lineBuffer);
      gl.bufferData(gl.ARRAY_BUFFER, state.lines.subarray(0, links * 6), gl.DYNAMIC_DRAW);
    }

    function draw() {
      resize();
      const f = state.frame;
      if (state.follow) camera.target = centroid(f);
      const m = viewProj();
      gl.viewport(0, 0, canvas.width, canvas.height);
      gl.clearColor(0.56, 0.72, 0.88, 1);
      gl.clear(gl.COLOR_BUFFER_BIT | gl.DEPTH_BUFFER_BIT);
      gl.enable(gl.DEPTH_TEST);

      gl.useProgram(flat.p);
      gl.uniformMatrix4fv(flat.where.viewProj, false, m);
      gl.uniform4f(flat.where.tint, 0, 0, 0, 0);
      gl.bindBuffer(gl.ARRAY_BUFFER, floorBuffer);
      gl.enableVertexAttribArray(flat.where.position);
      gl.vertexAttribPointer(flat.where.position, 3, gl.FLOAT, false, 0, 0);
      gl.drawArrays(gl.TRIANGLES, 0, 6);

      gl.useProgram(cube.p);
      gl.uniformMatrix4fv(cube.where.viewProj, false, m);
      gl.uniform3fv(cube.where.light, kLight);
      gl.uniform1f(cube.where.floorY, kFloorY);
      const count = run.nodeCount[f];
      // Shadows first, see-through and without depth writes, as dark prints on the floor.
      gl.enable(gl.BLEND);
      gl.blendFunc(gl.SRC_ALPHA, gl.ONE_MINUS_SRC_ALPHA);
      gl.depthMask(false);
      gl.uniform1i(cube.where.shadow, 1);
      gl.uniform1f(cube.where.alpha, 0.35);
      gl.uniform1f(cube.where.size, kNodeSize);
      gl.bindVertexArray(cubeVao);
      gl.drawArraysInstanced(gl.TRIANGLES, 0, 36, count);
      gl.uniform1f(cube.where.size, kGoalSize);
      gl.bindVertexArray(goalVao);
      gl.drawArraysInstanced(gl.TRIANGLES, 0, 36, 1);
      gl.depthMask(true);
      gl.disable(gl.BLEND);

      gl.uniform1i(cube.where.shadow, 0);
      gl.uniform1f(cube.where.alpha, 1);
      gl.drawArraysInstanced(gl.TRIANGLES, 0, 36, 1);
      gl.uniform1f(cube.where.size, kNodeSize);
      gl.bindVertexArray(cubeVao);
      gl.drawArraysInstanced(gl.TRIANGLES, 0, 36, count);
      gl.bindVertexArray(null);

      gl.useProgram(flat.p);
      gl.uniform4f(flat.where.tint, 1, 1, 1, 1);
      gl.bindBuffer(gl.ARRAY_BUFFER, lineBuffer);
      gl.enableVertexAttribArray(flat.where.position);
      gl.vertexAttribPointer(flat.where.position, 3, gl.FLOAT, false, 0, 0);
      gl.drawArrays(gl.LINES, 0, run.linkCount[f] * 2);
    }

    // The node nearest the pointer on screen, within a few pixels; -1 when none.
    function pick(px, py) {
      const m = viewProj(), f = state.frame;
      const scale = window.devicePixelRatio || 1;
      let best = -1, bestD = (8 * scale) ** 2, bestW = Infinity;
      for (let k = run.nodeStart[f]; k < run.nodeStart[f + 1]; ++k) {
        const x = run.pos[k * 3], y = run.pos[k * 3 + 1], z = run.pos[k * 3 + 2];
        const w = m[3] * x + m[7] * y + m[11] * z + m[15];
        if (!(w > 0)) continue;
        const sx = ((m[0] * x + m[4] * y + m[8] * z + m[12]) / w + 1) * 0.5 * canvas.width;
        const sy = (1 - (m[1] * x + m[5] * y + m[9] * z + m[13]) / w) * 0.5 * canvas.height;
        const d = (sx - px * scale) ** 2 + (sy - py * scale) ** 2;
        if (d < bestD || (d === bestD && w < bestW)) { best = run.ids[k]; bestD = d; bestW = w; }
      }
      return best;
    }

    function showNode() {
      const panel = $("qm-node");
      if (state.selected < 0) { panel.hidden = true; return; }
      const f = state.frame;
      let k = -1;
      for (let lo = run.nodeStart[f], hi = run.nodeStart[f + 1]; lo < hi;) {
        const mid = (lo + hi) >> 1;
        if (run.ids[mid] < state.selected) lo = mid + 1; else { hi = mid; if (run.ids[mid] === state.selected) k = mid; }
      }
      const id = state.selected, parent = run.lineage[id * 2], born = run.lineage[id * 2 + 1];
      const rows = [["node", id], ["parent", parent < 0 ? "none" : parent], ["born at step", born < 0 ? "not known" : born]];
      if (k < 0) rows.push(["at this step", "not in the world"]);
      else {
        rows.push(["position", [0, 1, 2].map((i) => ((i === 2 ? -1 : 1) * run.pos[k * 3 + i]).toFixed(2)).join(", ")]);
        rows.push(["colour", [0, 1, 2].map((i) => (run.colour[k * 3 + i] / 255).toFixed(2)).join(", ")]);
        for (let i = 0; i < 10; ++i) rows.push(["P" + i, halfToFloat(run.param[k * 10 + i]).toPrecision(4)]);
      }
      panel.replaceChildren(table(rows));
      panel.hidden = false;
    }

    function show(f) {
      f = Math.max(0, Math.min(run.frames - 1, f | 0));
      if (f !== state.frame) { state.frame = f; upload(f); }
      $("qm-slider").value = String(f);
      $("qm-step").textContent = "step " + run.steps[f];
      $("qm-count").textContent = run.nodeCount[f] + (run.nodeCount[f] === 1 ? " node" : " nodes");
      root.dataset.step = String(run.steps[f]);
      root.dataset.nodes = String(run.nodeCount[f]);
      document.title = "Quillmoth run · step " + run.steps[f];
      showNode();
      draw();
    }

    function play(on) {
      state.playing = on;
      $("qm-play").textContent = on ? "Pause" : "Play";
      if (on && state.frame >= run.frames - 1) show(0);
    }

    let last = 0, owed = 0;
    function tick(now) {
      if (state.playing) {
        owed += last ? ((now - last) / 1000) * Number($("qm-speed").value) : 0;
        const ahead = Math.floor(owed);
        if (ahead > 0) {
          owed -= ahead;
          if (state.frame + ahead >= run.frames) { show(run.frames - 1); play(false); } else show(state.frame + ahead);
        }
      }
      last = now;
      requestAnimationFrame(tick);
    }

    // Pointer: drag to orbit, right or shift drag to pan, wheel to zoom, click to pick.
    let drag = null;
    canvas.addEventListener("contextmenu", (e) => e.preventDefault());
    canvas.addEventListener("pointerdown", (e) => {
      drag = { x: e.clientX, y: e.clientY, moved: false, pan: e.button === 2 || e.shiftKey };
      canvas.setPointerCapture(e.pointerId);
    });
    canvas.addEventListener("pointermove", (e) => {
      if (!drag) return;
      const dx = e.clientX - drag.x, dy = e.clientY - drag.y;
      if (Math.abs(dx) + Math.abs(dy) > 3) drag.moved = true;
      if (!drag.moved) return;
      drag.x = e.clientX; drag.y = e.clientY;
      if (drag.pan) {
        const step = camera.distance / canvas.clientHeight;
        const right = [Math.cos(camera.yaw), 0, -Math.sin(camera.yaw)];
        camera.target = camera.target.map((v, i) => v - right[i] * dx * step + (i === 1 ? dy * step : 0));
        setFollow(false);
      } else {
        camera.yaw -= dx * 0.01;
        camera.pitch = Math.max(-1.5, Math.min(1.5, camera.pitch + dy * 0.01));
      }
      draw();
    });
    canvas.addEventListener("pointerup", (e) => {
      if (drag && !drag.moved) {
        const r = canvas.getBoundingClientRect();
        state.selected = pick(e.clientX - r.left, e.clientY - r.top);
        showNode();
      }
      drag = null;
    });
    canvas.addEventListener("wheel", (e) => {
      e.preventDefault();
      camera.distance = Math.max(2, Math.min(3000, camera.distance * Math.exp(e.deltaY * 0.001)));
      draw();
    }, { passive: false });

    function setFollow(on) { state.follow = on; $("qm-follow").checked = on; }
    $("qm-follow").addEventListener("change", (e) => { state.follow = e.target.checked; draw(); });
    $("qm-play").addEventListener("click", () => play(!state.playing));
    $("qm-slider").max = String(run.frames - 1);
    $("qm-slider").addEventListener("input", (e) => { play(false); show(Number(e.target.value)); });
    $("qm-run-button").addEventListener("click", () => { $("qm-run").hidden = !$("qm-run").hidden; });
    window.addEventListener("keydown", (e) => {
      if (e.target.tagName === "INPUT" && e.target.type !== "checkbox") return;
      if (e.key === " ") { e.preventDefault(); play(!state.playing); }
      else if (e.key === "ArrowRight") show(state.frame + 1);
      else if (e.key === "ArrowLeft") show(state.frame - 1);
      else if (e.key === "f" || e.key === "F") { setFollow(!state.follow); draw(); }
    });
    window.addEventListener("resize", draw);

    // Far enough back for the largest frame's creature to be in view.
    let radius = 10;
    for (let f = 0; f < run.frames; ++f) {
      const c = centroid(f);
      for (let k = run.nodeStart[f]; k < run.nodeStart[f + 1]; ++k) {
        const d = Math.hypot(run.pos[k * 3] - c[0], run.pos[k * 3 + 1] - c[1], run.pos[k * 3 + 2] - c[2]);
        if (Number.isFinite(d)) radius = Math.max(radius, d);
      }
    }
    camera.distance = Math.min(3000, radius * 2.6);

    return { show, play, draw, tick, state };
  }

  function table(rows) {
    const t = document.createElement("table");
    for (const [name, value] of rows) {
      const tr = t.insertRow();
      tr.insertCell().textContent = name;
      tr.insertCell().textContent = typeof value === "object" ? JSON.stringify(value) : String(value);
    }
    return t;
  }

  function showManifest(manifest) {
    const rows = [];
    if (manifest.gene) rows.push(["gene", manifest.gene.file || ""], ["sha256", (manifest.gene.sha256 || "").slice(0, 16) + "…"]);
    for (const key of ["seed", "steps"]) if (key in manifest) rows.push([key, manifest[key]]);
    if (manifest.options) for (const [key, value] of Object.entries(manifest.options)) rows.push([key, value]);
    if (manifest.physics) for (const [key, value] of Object.entries(manifest.physics)) rows.push([key, value]);
    if (manifest.program) rows.push(["written by", manifest.program + " " + (manifest.version || "")]);
    $("qm-run").replaceChildren(rows.length ? table(rows) : document.createTextNode("The trace names no run."));
  }

  async function start() {
    const manifest = JSON.parse($("qm-manifest").textContent);
    showManifest(manifest);
    const run = unpack(await inflate($("qm-frames").textContent));
    if (run.frames === 0) throw new Error("the trace holds no whole step");
    const viewer = Viewer(run, manifest);
    const address = new URLSearchParams(location.hash.slice(1));
    viewer.show(0);
    if (address.has("frame")) {  // as a hand moving the slider would
      const slider = $("qm-slider");
      slider.value = address.get("frame");
      slider.dispatchEvent(new Event("input"));
    }
    if (address.has("bench")) bench(viewer, run, Number(address.get("bench")) || 5);
    else if (!address.has("frame")) viewer.play(true);
    requestAnimationFrame(viewer.tick);
    root.dataset.openMs = String(Math.round(performance.now()));  // from the page's start to its first frame
    root.dataset.ready = "1";
  }

  // Draws frame after frame for `seconds` and says how many a second it managed.
  function bench(viewer, run, seconds) {
    let frames = 0, from = 0;
    function next(now) {
      if (!from) from = now;
      viewer.show((viewer.state.frame + 1) % run.frames);
      ++frames;
      if (now - from < seconds * 1000) { requestAnimationFrame(next); return; }
      root.dataset.fps = (frames / ((now - from) / 1000)).toFixed(1);
      console.log("quillmoth-fps " + root.dataset.fps + " nodes " + run.nodeCount[viewer.state.frame] +
                  " open-ms " + root.dataset.openMs);
    }
    requestAnimationFrame(next);
  }

  start().catch((e) => fail(e && e.message ? e.message : e));
})();
