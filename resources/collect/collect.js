// The collection page: a map of the measurements coloured by dose rate, the
// devices, and one device's rates over time. Reads the server's JSON
// (/api/config, /api/points, /api/devices, /api/series); no build step.
"use strict";

const french = (navigator.language || "").toLowerCase().startsWith("fr");
const TEXTS = {
  title: ["Kesto collection", "Collecte Kesto"],
  map: ["Measurements", "Mesures"],
  from: ["From", "Du"],
  to: ["To", "Au"],
  download: ["Download", "Télécharger"],
  legend: ["Mean dose rate, μSv/h", "Débit de dose moyen, μSv/h"],
  settings: ["Map settings", "Réglages de la carte"],
  tiles: ["Tile server URL (blank: no tiles, a plain background)",
    "Adresse du serveur de tuiles (vide : pas de tuiles, un fond uni)"],
  save: ["Use", "Utiliser"],
  devices: ["Devices", "Appareils"],
  device: ["Device", "Appareil"],
  count: ["Measurements", "Mesures"],
  lastSeen: ["Last seen", "Dernier envoi"],
  latest: ["Latest dose rate (95%)", "Dernier débit de dose (95 %)"],
  chart: ["Dose rate over time", "Débit de dose dans le temps"],
  pick: ["Pick a device in the table.", "Choisissez un appareil dans le tableau."],
  summary: ["{m} measurement(s) from {d} device(s)", "{m} mesure(s) de {d} appareil(s)"],
  shown: ["{n} measurement(s) on the map", "{n} mesure(s) sur la carte"],
  truncated: ["the newest {n} measurements here: zoom in for the others",
    "les {n} mesures les plus récentes ici : zoomez pour les autres"],
  noLeaflet: ["The map needs Leaflet (the Debian package libjs-leaflet); the table and chart work without it.",
    "La carte a besoin de Leaflet (le paquet Debian libjs-leaflet) ; le tableau et le graphique fonctionnent sans."],
  noDevices: ["No measurement has arrived yet.", "Aucune mesure n’est encore arrivée."],
  failed: ["The server did not answer: {e}", "Le serveur n’a pas répondu : {e}"],
  series: ["{device}: {n} measurement(s)", "{device} : {n} mesure(s)"],
  noPosition: ["no position", "sans position"],
  interval: ["95%: {low}–{high}", "95 % : {low}–{high}"],
};
const text = (key, values = {}) =>
  TEXTS[key][french ? 1 : 0].replace(/\{(\w+)\}/g, (_, name) => values[name] ?? "");

document.documentElement.lang = french ? "fr" : "en";
for (const element of document.querySelectorAll("[data-text]")) {
  element.textContent = text(element.dataset.text);
}

// A rate with its unit, as the application writes it: mSv/h from 1000 μSv/h.
function rateText(rate) {
  if (rate === null || rate === undefined || !Number.isFinite(rate)) return "—";
  const [value, unit] = rate >= 1000 ? [rate / 1000, "mSv/h"] : [rate, "μSv/h"];
  return `${value.toLocaleString(french ? "fr-FR" : "en-GB", { minimumFractionDigits: 2, maximumFractionDigits: 2 })} ${unit}`;
}
function intervalText(m) {
  if (m.lower === null || m.upper === null) return "";
  return text("interval", { low: rateText(m.lower).split(" ")[0], high: rateText(m.upper) });
}
function colour(rate) {
  if (rate < 0.3) return "#2e9d4f";
  if (rate < 1) return "#c9b400";
  if (rate < 10) return "#e07b00";
  return "#c62828";
}
const shortDevice = (id) => (id.length > 10 ? `${id.slice(0, 8)}…` : id || "—");
const when = (iso) => new Date(iso).toLocaleString(french ? "fr-FR" : "en-GB", { timeZone: "UTC", dateStyle: "medium", timeStyle: "short" }) + " UTC";

async function getJson(path) {
  const response = await fetch(path, { credentials: "same-origin" });
  if (!response.ok) {
    let why = `${response.status}`;
    try { why = (await response.json()).error || why; } catch { /* not JSON */ }
    throw new Error(why);
  }
  return response.json();
}

// The date filter, as query parameters ("to" takes in the whole day).
function dateQuery() {
  const query = new URLSearchParams();
  const from = document.getElementById("from").value;
  const to = document.getElementById("to").value;
  if (from) query.set("from", from);
  if (to) {
    const next = new Date(`${to}T00:00:00Z`);
    next.setUTCDate(next.getUTCDate() + 1);
    query.set("to", next.toISOString().slice(0, 10));
  }
  return query;
}

const state = { map: null, layer: null, tiles: null, device: null, loading: 0, devices: [] };
window.kestoCollect = state;

function setupMap(config) {
  const note = document.getElementById("map-note");
  if (!window.L) {
    note.textContent = text("noLeaflet");
    return;
  }
  state.map = L.map("map", { worldCopyJump: true, attributionControl: true }).setView([20, 0], 2);
  state.layer = L.layerGroup().addTo(state.map);
  const saved = localStorage.getItem("kesto-collect-tiles");
  const url = saved !== null ? saved : config.tileUrl || "";
  document.getElementById("tile-url").value = url;
  setTiles(url, config.tileAttribution || "");
  document.getElementById("tile-save").addEventListener("click", () => {
    const chosen = document.getElementById("tile-url").value.trim();
    localStorage.setItem("kesto-collect-tiles", chosen);
    setTiles(chosen, "");
  });
  state.map.on("moveend", () => loadPoints());
}

function setTiles(url, attribution) {
  if (state.tiles) state.tiles.remove();
  state.tiles = null;
  if (url) state.tiles = L.tileLayer(url, { maxZoom: 19, attribution }).addTo(state.map);
}

async function loadPoints() {
  if (!state.map) return;
  const query = dateQuery();
  query.set("bbox", state.map.getBounds().toBBoxString());
  query.set("limit", "10000");
  const ticket = ++state.loading;
  try {
    const answer = await getJson(`/api/points?${query}`);
    if (ticket !== state.loading) return;  // a newer view was asked for
    state.layer.clearLayers();
    for (const p of answer.points) {
      L.circleMarker([p.lat, p.lon], {
        radius: 6, weight: 1, color: "#222", fillColor: colour(p.rate), fillOpacity: 0.85,
      }).bindTooltip(
        `<strong>${escapeHtml(p.tag || "—")}</strong> · ${escapeHtml(shortDevice(p.device))}<br>` +
        `${when(p.start)}<br>${rateText(p.rate)} <span class="interval">${intervalText(p)}</span>`,
      ).on("click", () => showDevice(p.device)).addTo(state.layer);
    }
    document.getElementById("map").dataset.points = String(answer.points.length);
    document.getElementById("map-note").textContent = answer.truncated
      ? text("truncated", { n: answer.points.length })
      : text("shown", { n: answer.points.length });
  } catch (error) {
    document.getElementById("map-note").textContent = text("failed", { e: error.message });
  }
  updateExports();
}

function escapeHtml(value) {
  return String(value).replace(/[&<>"']/g, (c) => ({ "&": "&amp;", "<": "&lt;", ">": "&gt;", '"': "&quot;", "'": "&#39;" })[c]);
}

function updateExports() {
  const query = dateQuery();
  if (state.map) query.set("bbox", state.map.getBounds().toBBoxString());
  const suffix = query.toString() ? `?${query}` : "";
  document.getElementById("export-csv").href = `/export.csv${suffix}`;
  document.getElementById("export-geojson").href = `/export.geojson${suffix}`;
}

async function loadDevices(fit) {
  try {
    const { devices } = await getJson("/api/devices");
    state.devices = devices;
    const body = document.querySelector("#devices tbody");
    body.replaceChildren(...devices.map((d) => {
      const row = document.createElement("tr");
      row.dataset.device = d.device;
      row.setAttribute("aria-selected", String(d.device === state.device));
      row.tabIndex = 0;
      const cells = [shortDevice(d.device), d.measurements.toLocaleString(), when(d.lastSeen),
        `${rateText(d.latest.rate)} ${intervalText(d.latest)}`];
      cells.forEach((value, i) => {
        const cell = document.createElement("td");
        cell.textContent = value;
        if (i === 0) { cell.className = "device-id"; cell.title = d.device; }
        row.append(cell);
      });
      row.addEventListener("click", () => showDevice(d.device));
      row.addEventListener("keydown", (e) => { if (e.key === "Enter") showDevice(d.device); });
      return row;
    }));
    const total = devices.reduce((sum, d) => sum + d.measurements, 0);
    document.getElementById("summary").textContent = text("summary", { m: total.toLocaleString(), d: devices.length });
    document.getElementById("devices-note").textContent = devices.length ? "" : text("noDevices");
    const placed = devices.filter((d) => d.latest.lat !== null);
    if (fit && state.map && placed.length) {
      state.map.fitBounds(L.latLngBounds(placed.map((d) => [d.latest.lat, d.latest.lon])).pad(0.3), { maxZoom: 13 });
    }
  } catch (error) {
    document.getElementById("devices-note").textContent = text("failed", { e: error.message });
  }
}

async function showDevice(device) {
  state.device = device;
  for (const row of document.querySelectorAll("#devices tbody tr")) {
    row.setAttribute("aria-selected", String(row.dataset.device === device));
  }
  const query = dateQuery();
  query.set("device", device);
  try {
    const { measurements } = await getJson(`/api/series?${query}`);
    document.getElementById("chart-device").textContent = text("series", { device: shortDevice(device), n: measurements.length });
    drawChart(measurements);
  } catch (error) {
    document.getElementById("chart-device").textContent = text("failed", { e: error.message });
  }
}

// Each measurement: a dot at its mean rate on its start date, and a bar
// over its 95% interval.
function drawChart(measurements) {
  const svg = document.getElementById("chart");
  const width = svg.clientWidth || 400;
  const height = svg.clientHeight || 240;
  svg.setAttribute("viewBox", `0 0 ${width} ${height}`);
  svg.dataset.points = String(measurements.length);
  const ns = "http://www.w3.org/2000/svg";
  const add = (name, attributes, content) => {
    const element = document.createElementNS(ns, name);
    for (const [k, v] of Object.entries(attributes)) element.setAttribute(k, v);
    if (content !== undefined) element.textContent = content;
    svg.append(element);
    return element;
  };
  svg.replaceChildren();
  if (!measurements.length) return;
  const left = 48, right = 10, top = 10, bottom = 24;
  const times = measurements.map((m) => Date.parse(m.start));
  const t0 = Math.min(...times), t1 = Math.max(...times);
  const top95 = Math.max(...measurements.map((m) => (m.upper ?? m.rate)), 0.01);
  const yMax = Math.min(top95, 3 * Math.max(...measurements.map((m) => m.rate), 0.01));
  const x = (t) => left + (t1 === t0 ? 0.5 : (t - t0) / (t1 - t0)) * (width - left - right);
  const y = (r) => height - bottom - (Math.min(r, yMax) / yMax) * (height - top - bottom);
  add("line", { class: "axis", x1: left, y1: height - bottom, x2: width - right, y2: height - bottom });
  add("line", { class: "axis", x1: left, y1: top, x2: left, y2: height - bottom });
  add("text", { x: 4, y: y(yMax) + 4 }, Number(yMax.toPrecision(2)).toLocaleString(french ? "fr-FR" : "en-GB"));
  add("text", { x: 4, y: height - bottom }, "0");
  add("text", { x: left, y: height - 6 }, new Date(t0).toISOString().slice(0, 10));
  add("text", { x: width - right, y: height - 6, "text-anchor": "end" }, new Date(t1).toISOString().slice(0, 10));
  measurements.forEach((m, i) => {
    const cx = x(times[i]);
    if (m.lower !== null && m.upper !== null) {
      add("line", { class: "bar", x1: cx, x2: cx, y1: y(m.lower), y2: y(m.upper) });
    }
    add("circle", { class: "dot", cx, cy: y(m.rate), r: 3 }, undefined)
      .append(Object.assign(document.createElementNS(ns, "title"), {
        textContent: `${m.tag || "—"} ${when(m.start)}: ${rateText(m.rate)} ${intervalText(m)}`,
      }));
  });
}

async function start() {
  let config = {};
  try { config = await getJson("/api/config"); } catch { /* defaults */ }
  setupMap(config);
  for (const id of ["from", "to"]) {
    document.getElementById(id).addEventListener("change", () => {
      loadPoints();
      if (state.device) showDevice(state.device);
    });
  }
  await loadDevices(true);
  await loadPoints();
  updateExports();
  // New uploads show up without a reload.
  setInterval(() => { loadDevices(false); loadPoints(); }, 30000);
}

start();
