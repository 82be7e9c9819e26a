// Kesto in a browser: follows the application through the server's event
// stream and sends the person's actions back, one at a time and in order.

import { Phone } from "./phone.js";
import { CounterPanel, HistoryPanel, SimulatorPanel, StationPanel } from "./panels.js";
import { doseRate, setPage, text } from "./texts.js";

const connection = document.getElementById("connection");
const refusal = document.getElementById("refusal");

// The access token came in the address; the server keeps it in a cookie
// now, so it need not stay in the address bar or the history.
if (new URLSearchParams(location.search).has("token")) {
  history.replaceState(null, "", location.pathname);
}

// This page's name among the browsers showing the application, so the
// server can tell who answered a question and who types in a field.
const pageName = Array.from(crypto.getRandomValues(new Uint8Array(12)),
  (byte) => byte.toString(16).padStart(2, "0")).join("");

async function post(path, body) {
  try {
    const response = await fetch(path, {
      method: "POST",
      headers: { "Content-Type": "application/json", "X-Kesto-Page": pageName },
      body: JSON.stringify(body),
      credentials: "same-origin",
    });
    const answer = await response.json().catch(() => ({}));
    if (response.ok && answer.ok !== false) return { ok: true };
    return { ok: false, error: answer.error || `${response.status} ${response.statusText}` };
  } catch (error) {
    return { ok: false, error: "the server cannot be reached" };
  }
}

// Actions go out one after the other, so keys typed quickly reach the text
// field in the order they were typed. Text typed while a request is on its
// way joins the next one. The actions and their arguments are the server's
// table (GET /actions): send("type", outlet, text) → {action: "type",
// outlet, text}. A quiet action's refusal is not shown (a tap that only may
// apply, such as OK after Enter with nothing typed).
class ActionSender {
  constructor() {
    this.waiting = [];
    this.busy = false;
    this.vocabulary = null;
  }

  // The server's table, asked again after a failure (a restart).
  async table() {
    this.vocabulary ??= fetch("/actions", { credentials: "same-origin" })
      .then((response) => (response.ok ? response.json() : null))
      .catch(() => null);
    const table = await this.vocabulary;
    if (!table) this.vocabulary = null;
    return table || {};
  }

  send(kind, ...values) {
    return this.make(kind, values, false);
  }

  sendQuietly(kind, ...values) {
    return this.make(kind, values, true);
  }

  async make(kind, values, quiet) {
    const names = (await this.table())[kind];
    if (!names) {
      showRefusal(`the server does not know the action '${kind}'`);
      return;
    }
    const action = { action: kind };
    names.forEach((name, i) => { action[name] = values[i]; });
    this.queue(action, quiet);
  }

  queue(action, quiet) {
    const last = this.waiting[this.waiting.length - 1];
    if (action.action === "type" && last?.action.action === "type" && last.action.outlet === action.outlet) {
      last.action.text += action.text;
    } else {
      this.waiting.push({ action: { ...action }, quiet });
    }
    if (!this.busy) this.drain();
  }

  async drain() {
    this.busy = true;
    while (this.waiting.length > 0) {
      const { action, quiet } = this.waiting.shift();
      const { ok, error } = await post("/action", action);
      if (!quiet || ok) showRefusal(ok ? "" : error);
    }
    this.busy = false;
  }
}

let refusalTimer = 0;
function showRefusal(text) {
  clearTimeout(refusalTimer);
  refusal.textContent = text;
  refusal.hidden = !text;
  if (text) refusalTimer = setTimeout(() => { refusal.hidden = true; }, 4000);
}

const phone = new Phone(document.getElementById("phone"), new ActionSender());
const simulator = new SimulatorPanel(document.getElementById("sim-panel"), (body) => post("/sim", body));
const counter = new CounterPanel(document.getElementById("counter-panel"));
const history = new HistoryPanel(document.getElementById("history-panel"));
const station = new StationPanel(document.getElementById("station-panel"),
  document.getElementById("alarm-banner"));
const simMark = document.getElementById("sim-mark");
const sensorName = document.getElementById("sensor");

// The simulator in the page's language; a real sensor by its own name.
function sensorText(sensor) {
  if (sensor?.simulated && typeof sensor.rate === "number") {
    return text(sensor.lensOpen ? "Web_SensorSimulatedOpen" : "Web_SensorSimulated", doseRate(sensor.rate));
  }
  return sensor?.description ?? "";
}

// What other browsers did: a question answered there closes here with its
// answer said; a field typed there says so while it lasts.
const others = document.getElementById("others");
const notice = document.getElementById("notice");
let alertShown = 0;
function showOthers(state) {
  const count = Math.max(0, (state.browsers ?? 1) - 1);
  others.hidden = count === 0;
  others.textContent = count > 0 ? text("Web_OthersConnected", count) : "";
  const alertNow = state.app?.alert?.number ?? 0;
  const answered = state.answered;
  if (alertShown !== 0 && alertNow !== alertShown && answered?.alert === alertShown && answered.page !== pageName) {
    showNotice(text("Web_AnsweredElsewhere", answered.button));
  }
  alertShown = alertNow;
  const typist = state.typist;
  const elsewhere = typist && typist.page !== pageName ? typist.outlet : "";
  document.getElementById("phone").dataset.typedElsewhere = elsewhere;
  if (elsewhere) showNotice(text("Web_TypingElsewhere"));
  else if (notice.textContent === text("Web_TypingElsewhere")) notice.hidden = true;
}

let noticeTimer = 0;
function showNotice(message) {
  clearTimeout(noticeTimer);
  if (notice.textContent !== message || notice.hidden) {
    notice.textContent = message;
    notice.hidden = false;
  }
  noticeTimer = setTimeout(() => { notice.hidden = true; }, 6000);
}

let connectionStatus = "connecting";
function showState(state) {
  if (setPage(state.page)) setConnection(connectionStatus);
  showOthers(state);
  phone.show(state.app || {});
  simulator.show(state.sensor);
  counter.show(state.counter);
  history.show(state.history);
  station.show(state.station);
  simMark.hidden = !state.sensor?.simulated;
  sensorName.textContent = sensorText(state.sensor);
  // Tests and people (in the console) can read what was shown last.
  window.kestoState = state;
  document.body.dataset.version = String(state.version ?? "");
}

const connectionTexts = { connecting: "Web_Connecting", open: "Web_Connected", lost: "Web_ConnectionLost" };
function setConnection(status) {
  connectionStatus = status;
  document.body.dataset.connection = status;
  connection.textContent = text(connectionTexts[status]);
}

// EventSource retries by itself after a dropped stream; when the server
// answered with an error instead (restarting, token gone), it gives up, and
// a fresh one is opened after a pause that grows to five seconds.
let retryDelay = 500;
function connect() {
  const events = new EventSource("/events");
  events.addEventListener("open", () => {
    retryDelay = 500;
    setConnection("open");
  });
  events.addEventListener("snapshot", (event) => {
    try {
      showState(JSON.parse(event.data));
    } catch (error) {
      console.error("unreadable snapshot", error);
    }
  });
  events.addEventListener("error", () => {
    setConnection("lost");
    if (events.readyState === EventSource.CLOSED) {
      setTimeout(connect, retryDelay);
      retryDelay = Math.min(5000, retryDelay * 2);
    }
  });
}

setConnection("connecting");
connect();
