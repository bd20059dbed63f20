// SPDX-License-Identifier: GPL-3.0-or-later
// The station page: log-in, the live status over a WebSocket, the last
// hour of the history and, for an operator, the commands.
"use strict";
(function () {
  const $ = (id) => document.getElementById(id);
  let session = null;
  let socket = null;
  let pinger = null;
  let historyTimer = null;
  let reconnectTimer = null;
  let linkUp = false;  // the amplifier answers
  let liveUp = false;  // this page's live connection is open
  const ENDED = "The session ended (the station restarted, it expired or the user changed): log in again.";
  // For the measurements: delays from the report reaching the link to its
  // drawing here (ms), and when the first current reading was drawn.
  window.orvikLatencies = [];
  window.orvikFirstReadingMs = null;

  function show(el, on) { el.hidden = !on; }
  function fmt(v, digits, unit) {
    return v === null || v === undefined ? "—" : v.toFixed(digits) + (unit ? " " + unit : "");
  }
  function addLine(list, text, max) {
    const li = document.createElement("li");
    li.textContent = text;
    list.prepend(li);
    while (list.children.length > max) list.lastChild.remove();
  }

  async function api(path, options) {
    let response;
    try {
      response = await fetch(path, Object.assign({ credentials: "same-origin" }, options));
    } catch (e) {
      return { status: 0, body: { error: "the station does not answer" } };
    }
    let body = {};
    try { body = await response.json(); } catch (e) { /* no body */ }
    return { status: response.status, body: body };
  }

  function bar(id, watts, max) {
    const el = $(id);
    const w = watts === null || watts === undefined ? 0 : Math.min(watts, max);
    el.firstElementChild.style.width = (100 * w / max) + "%";
    if (watts === null || watts === undefined) el.removeAttribute("aria-valuenow");
    else el.setAttribute("aria-valuenow", String(watts));
    el.setAttribute("aria-valuetext", watts === null || watts === undefined ? "not current" : watts + " W");
  }

  // Commands only while the amplifier and this page are both connected.
  function enable() {
    const on = linkUp && liveUp;
    for (const el of document.querySelectorAll(".control, #bands button")) el.disabled = !on;
    // Following is the station's, not the amplifier's: the page's connection is enough.
    $("follow").disabled = !liveUp;
  }

  function render(s) {
    $("phase").textContent = s.phase;
    linkUp = s.phase === "connected";
    enable();
    show($("stale"), !s.current);
    $("station").classList.toggle("stale", !s.current);
    const c = s.current;
    $("output").textContent = c ? fmt(s.outputW, 0, "W") : "—";
    $("reflected").textContent = c ? fmt(s.reflectedW, 0, "W") : "—";
    bar("outBar", c ? s.outputW : null, 1500);
    bar("refBar", c ? s.reflectedW : null, 300);
    $("peak").textContent = c ? fmt(s.peakW, 0, "W") : "—";
    $("swr").textContent = c ? fmt(s.swr, 2) : "—";
    $("temperature").textContent = c ? fmt(s.temperatureC, 0, "°C") : "—";
    $("band").textContent = c && s.band ? s.bandName : "—";
    // null: not known on this connection (the PTT block until confirmed).
    const said = (v, yes, no) => (!c || v === null ? "—" : v ? yes : no);
    $("transmitting").textContent = said(s.transmitting, "yes", "no");
    $("ptt").textContent = said(s.pttBlocked, "blocked (standby)", "free (operate)");
    let tuner = "—";
    if (c && s.tuner) {
      const t = s.tuner;
      tuner = (t.inLine === null ? "fitted" : t.inLine ? "in line" : "bypassed") +
        (t.status !== null ? ", status " + t.status : "") +
        (t.swr !== null ? ", SWR " + t.swr.toFixed(1) : "") +
        (t.inductanceUH !== null ? ", L " + t.inductanceUH + " µH" : "") +
        (t.capacitancePF !== null ? ", C " + t.capacitancePF + " pF" : "");
    } else if (c) {
      tuner = "none";
    }
    $("tuner").textContent = tuner;
    $("firmware").textContent = c && s.firmware ? s.firmware : "—";
    $("paType").textContent = c && s.paType ? s.paType : "—";
    const alarms = c && s.alarms ? s.alarms : [];
    $("alarms").textContent = alarms.length ? "ALARM: " + alarms.join(", ") : "";
    show($("alarms"), alarms.length > 0);
    for (const b of $("bands").children)
      b.setAttribute("aria-pressed", String(c && s.band === Number(b.dataset.band)));
    // The radio followed, while there is one: whether its band is taken, and where it is.
    const rig = s.rig;
    show($("followRow"), !!rig);
    if (rig) {
      $("follow").setAttribute("aria-pressed", String(rig.following));
      $("follow").textContent = "Follow the radio: " + (rig.following ? "on" : "off");
      $("radio").textContent = !rig.connected ? "no connection to the radio"
        : rig.frequencyHz ? (rig.frequencyHz / 1e6).toFixed(6) + " MHz" : "";
    }
  }

  function connect() {
    const scheme = location.protocol === "https:" ? "wss://" : "ws://";
    socket = new WebSocket(scheme + location.host + "/ws");
    socket.onopen = () => { liveUp = true; enable(); };
    socket.onmessage = (m) => {
      const now = performance.timeOrigin + performance.now();
      const data = JSON.parse(m.data);
      if (data.type === "status") {
        render(data.status);
        const delay = now - data.at;
        window.orvikLatencies.push(delay);
        if (window.orvikLatencies.length > 10000) window.orvikLatencies.shift();
        if (data.status.current && window.orvikFirstReadingMs === null)
          window.orvikFirstReadingMs = performance.now();
      } else if (data.type === "event") {
        addLine($("live"), new Date().toLocaleTimeString() + " " + data.text, 50);
      }
    };
    socket.onclose = async () => {
      clearInterval(pinger);
      liveUp = false;
      // Nothing shown is current any more: every reading "—", no command.
      render({ phase: "page not connected", current: false });
      if (!session) return;
      const r = await api("/api/session");
      if (r.status === 401) loggedOut(ENDED);
      else if (session) reconnectTimer = setTimeout(connect, 2000);
    };
    pinger = setInterval(() => { if (socket.readyState === 1) socket.send('{"type":"ping"}'); }, 15000);
  }

  async function command(name, value) {
    $("outcome").textContent = "Sending " + name + "…";
    const r = await api("/api/command", {
      method: "POST",
      headers: { "Content-Type": "application/json", "X-Orvik-Token": session.token },
      body: JSON.stringify({ command: name, value: value }),
    });
    if (r.status === 401) return loggedOut(ENDED);
    $("outcome").textContent = r.status === 200 ? r.body.command + ": " + r.body.text
      : "Refused: " + (r.body.error || r.status);
  }

  const SVG = "http://www.w3.org/2000/svg";
  function svgAdd(svg, tag, attrs, text) {
    const el = document.createElementNS(SVG, tag);
    for (const k in attrs) el.setAttribute(k, attrs[k]);
    if (text !== undefined) el.textContent = text;
    svg.appendChild(el);
    return el;
  }
  const nice = (v) => (Math.abs(v) >= 100 ? v.toFixed(0) : String(+v.toFixed(2)));
  const clock = (t) => new Date(t * 1000).toLocaleTimeString([], { hour: "2-digit", minute: "2-digit" });

  // One plot: axes with the scale, the line, and the value under the pointer.
  function plot(id, from, to, points, lo, unit) {
    const svg = $("plot" + id), at = $("at" + id);
    const L = 36, R = 396, T = 6, B = 62;
    const hi = Math.max(lo + 1, ...points.map((p) => p[1]));
    const x = (t) => L + (R - L) * (t - from) / Math.max(1, to - from);
    const y = (v) => B - (B - T) * (v - lo) / (hi - lo);
    svg.textContent = "";
    at.textContent = points.length ? "" : "no readings";
    for (const v of [lo, (lo + hi) / 2, hi]) {
      svgAdd(svg, "line", { x1: L, x2: R, y1: y(v), y2: y(v), class: "grid" });
      svgAdd(svg, "text", { x: L - 3, y: y(v) + 4, "text-anchor": "end" }, nice(v));
    }
    [[from, "start"], [(from + to) / 2, "middle"], [to, "end"]].forEach(([t, anchor]) =>
      svgAdd(svg, "text", { x: x(t), y: 77, "text-anchor": anchor }, clock(t)));
    if (!points.length) return;
    svgAdd(svg, "polyline", { points: points.map((p) => x(p[0]).toFixed(1) + "," + y(p[1]).toFixed(1)).join(" ") });
    const cursor = svgAdd(svg, "line", { y1: T, y2: B, class: "cursor", visibility: "hidden" });
    svg.onpointermove = (e) => {
      const box = svg.getBoundingClientRect();
      const t = from + (to - from) * ((e.clientX - box.left) * 400 / box.width - L) / (R - L);
      const p = points.reduce((a, b) => (Math.abs(b[0] - t) < Math.abs(a[0] - t) ? b : a));
      cursor.setAttribute("x1", x(p[0]));
      cursor.setAttribute("x2", x(p[0]));
      cursor.setAttribute("visibility", "visible");
      at.textContent = clock(p[0]) + ": " + nice(p[1]) + unit;
    };
  }

  async function history() {
    const r = await api("/api/history");
    if (r.status === 401) return loggedOut(ENDED);
    if (r.status !== 200) return;
    show($("historyNone"), !r.body.recorded);
    if (!r.body.recorded) return;
    const from = r.body.from, to = r.body.to;
    const series = (i) => r.body.columns.filter((c) => c[i] !== null).map((c) => [c[0], c[i]]);
    plot("Output", from, to, series(1), 0, " W");
    plot("Swr", from, to, series(2), 1, "");
    plot("Temperature", from, to, series(3), 0, " °C");
    const list = $("events");
    list.textContent = "";
    for (const e of r.body.events.slice(-100).reverse()) {
      const li = document.createElement("li");
      li.textContent = new Date(e[0]).toLocaleTimeString() + " " + e[1];
      list.appendChild(li);
    }
  }

  function stopTimers() {
    clearInterval(historyTimer);
    clearTimeout(reconnectTimer);
    clearInterval(pinger);
  }

  function start(info) {
    stopTimers();
    session = info;
    $("loginReason").textContent = "";
    $("user").textContent = info.user + " (" + info.role + ")";
    show($("who"), true);
    show($("login"), false);
    show($("station"), true);
    const operator = info.role === "operator";
    show($("controls"), operator);
    show($("standby"), operator);
    const bands = $("bands");
    bands.textContent = "";
    if (operator) {
      info.bands.forEach((name, i) => {
        const b = document.createElement("button");
        b.type = "button";
        b.textContent = name;
        b.dataset.band = String(i + 1);
        b.setAttribute("aria-pressed", "false");
        b.addEventListener("click", () => command("band", i + 1));
        bands.appendChild(b);
      });
    }
    render({ phase: "…", current: false });
    connect();
    history();
    historyTimer = setInterval(history, 60000);
  }

  function loggedOut(reason) {
    session = null;
    stopTimers();
    if (socket) { socket.onclose = null; socket.close(); socket = null; }
    liveUp = false;
    $("loginReason").textContent = reason || "";
    show($("who"), false);
    show($("station"), false);
    show($("login"), true);
    $("name").focus();
  }

  $("login").addEventListener("submit", async (e) => {
    e.preventDefault();
    const body = new URLSearchParams({ user: $("name").value, password: $("password").value });
    const r = await api("/api/login", { method: "POST", body: body });
    $("password").value = "";
    if (r.status === 200) { $("loginError").textContent = ""; start(r.body); }
    else $("loginError").textContent = r.body.error || "Log-in failed";
  });
  $("logout").addEventListener("click", async () => {
    await api("/api/logout", { method: "POST", headers: { "X-Orvik-Token": session.token } });
    loggedOut("");
  });
  $("operate").addEventListener("click", () => command("operate", 0));
  $("standby").addEventListener("click", () => command("standby", 1));
  $("tune").addEventListener("click", () => command("tune", 0));
  $("follow").addEventListener("click", () =>
    command("follow", $("follow").getAttribute("aria-pressed") === "true" ? 0 : 1));
  $("setLevel").addEventListener("click", () => command("outputLevel", Number($("level").value)));

  api("/api/session").then((r) => (r.status === 200 ? start(r.body) : loggedOut("")));
})();
