// Kesto in a browser: follows the application through the server's event
// stream and sends the person's actions back, one at a time and in order.

import { Phone } from "./phone.js";
import { CounterPanel, HistoryPanel, SimulatorPanel, StationPanel } from "./panels.js";

const connection = document.getElementById("connection");
const refusal = document.getElementById("refusal");

// The access token came in the address; the server keeps it in a cookie
// now, so it need not stay in the address bar or the history.
if (new URLSearchParams(location.search).has("token")) {
  history.replaceState(null, "", location.pathname);
}

async function post(path, body) {
  try {
    const response = await fetch(path, {
      method: "POST",
      headers: { "Content-Type": "application/json" },
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
// outlet, text}.
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

  async send(kind, ...values) {
    const names = (await this.table())[kind];
    if (!names) {
      showRefusal(`the server does not know the action '${kind}'`);
      return;
    }
    const action = { action: kind };
    names.forEach((name, i) => { action[name] = values[i]; });
    this.queue(action);
  }

  queue(action) {
    const last = this.waiting[this.waiting.length - 1];
    if (action.action === "type" && last?.action === "type" && last.outlet === action.outlet) {
      last.text += action.text;
    } else {
      this.waiting.push({ ...action });
    }
    if (!this.busy) this.drain();
  }

  async drain() {
    this.busy = true;
    while (this.waiting.length > 0) {
      const action = this.waiting.shift();
      const { ok, error } = await post("/action", action);
      showRefusal(ok ? "" : error);
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

function showState(state) {
  phone.show(state.app || {});
  simulator.show(state.sensor);
  counter.show(state.counter);
  history.show(state.history);
  station.show(state.station);
  simMark.hidden = !state.sensor?.simulated;
  sensorName.textContent = state.sensor?.description ?? "";
  // Tests and people (in the console) can read what was shown last.
  window.kestoState = state;
  document.body.dataset.version = String(state.version ?? "");
}

function setConnection(status, text) {
  document.body.dataset.connection = status;
  connection.textContent = text;
}

// EventSource retries by itself after a dropped stream; when the server
// answered with an error instead (restarting, token gone), it gives up, and
// a fresh one is opened after a pause that grows to five seconds.
let retryDelay = 500;
function connect() {
  const events = new EventSource("/events");
  events.addEventListener("open", () => {
    retryDelay = 500;
    setConnection("open", "Connected");
  });
  events.addEventListener("snapshot", (event) => {
    try {
      showState(JSON.parse(event.data));
    } catch (error) {
      console.error("unreadable snapshot", error);
    }
  });
  events.addEventListener("error", () => {
    setConnection("lost", "Connection lost: reconnecting…");
    if (events.readyState === EventSource.CLOSED) {
      setTimeout(connect, retryDelay);
      retryDelay = Math.min(5000, retryDelay * 2);
    }
  });
}

setConnection("connecting", "Connecting…");
connect();
