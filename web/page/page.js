// SPDX-License-Identifier: GPL-3.0-or-later
// The station page: log-in, the live status over a WebSocket, the last
// hour of the history and, for an operator, the commands.
"use strict";
(function () {
  const $ = (id) => document.getElementById(id);
  let session = null;
  let socket = null;
  let pinger = null;
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
    const response = await fetch(path, Object.assign({ credentials: "same-origin" }, options));
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

  function render(s) {
    $("phase").textContent = s.phase;
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
    $("transmitting").textContent = c ? (s.transmitting ? "yes" : "no") : "—";
    $("ptt").textContent = c ? (s.pttBlocked ? "blocked (standby)" : "free (operate)") : "—";
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
    const alarms = c ? s.alarms : [];
    $("alarms").textContent = alarms.length ? "ALARM: " + alarms.join(", ") : "";
    show($("alarms"), alarms.length > 0);
    for (const b of $("bands").children)
      b.setAttribute("aria-pressed", String(c && s.band === Number(b.dataset.band)));
  }

  function connect() {
    const scheme = location.protocol === "https:" ? "wss://" : "ws://";
    socket = new WebSocket(scheme + location.host + "/ws");
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
    socket.onclose = () => {
      clearInterval(pinger);
      $("phase").textContent = "page not connected";
      show($("stale"), true);
      $("station").classList.add("stale");
      if (session) setTimeout(() => { if (session) connect(); }, 2000);
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
    $("outcome").textContent = r.status === 200 ? r.body.command + ": " + r.body.text
      : "Refused: " + (r.body.error || r.status);
  }

  function polyline(svg, points, lo, hi) {
    svg.textContent = "";
    if (!points.length) return;
    const line = document.createElementNS("http://www.w3.org/2000/svg", "polyline");
    const span = hi - lo || 1;
    line.setAttribute("points", points.map((p) => p[0].toFixed(1) + "," + (58 - 56 * (p[1] - lo) / span).toFixed(1)).join(" "));
    svg.appendChild(line);
  }

  async function history() {
    const r = await api("/api/history");
    if (r.status !== 200) return;
    show($("historyNone"), !r.body.recorded);
    if (!r.body.recorded) return;
    const from = r.body.from, to = r.body.to;
    const x = (t) => 360 * (t - from) / Math.max(1, to - from);
    const series = (i) => r.body.columns.filter((c) => c[i] !== null).map((c) => [x(c[0]), c[i]]);
    const range = (pts, lo) => [lo, Math.max(lo + 1, ...pts.map((p) => p[1]))];
    const out = series(1), swr = series(2), temp = series(3);
    polyline($("plotOutput"), out, ...range(out, 0));
    polyline($("plotSwr"), swr, ...range(swr, 1));
    polyline($("plotTemperature"), temp, ...range(temp, 0));
    const list = $("events");
    list.textContent = "";
    for (const e of r.body.events.slice(-100).reverse()) {
      const li = document.createElement("li");
      li.textContent = new Date(e[0]).toLocaleTimeString() + " " + e[1];
      list.appendChild(li);
    }
  }

  function start(info) {
    session = info;
    $("user").textContent = info.user + " (" + info.role + ")";
    show($("who"), true);
    show($("login"), false);
    show($("station"), true);
    const operator = info.role === "operator";
    show($("controls"), operator);
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
    connect();
    history();
    setInterval(history, 60000);
  }

  function loggedOut() {
    session = null;
    if (socket) socket.close();
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
    loggedOut();
  });
  $("operate").addEventListener("click", () => command("operate", 0));
  $("standby").addEventListener("click", () => command("standby", 1));
  $("tune").addEventListener("click", () => command("tune", 0));
  $("setLevel").addEventListener("click", () => command("outputLevel", Number($("level").value)));

  api("/api/session").then((r) => (r.status === 200 ? start(r.body) : loggedOut()));
})();
