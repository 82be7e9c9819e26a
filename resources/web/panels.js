// The panels beside the phone: the simulated sensor's settings, the live
// counter (events per 10 s, with an optional click per event) and the
// uploads of the saved measurements.

import { dateTime, doseRate, number, text } from "./texts.js";

// A chart's canvas sized to its box at the screen's pixel ratio, cleared,
// with its ink and bar colour from the page's style.
function clearedChart(canvas, fallbackBar) {
  const ratio = window.devicePixelRatio || 1;
  const w = canvas.clientWidth || 300;
  const h = canvas.clientHeight || 160;
  if (canvas.width !== Math.round(w * ratio)) canvas.width = Math.round(w * ratio);
  if (canvas.height !== Math.round(h * ratio)) canvas.height = Math.round(h * ratio);
  const ctx = canvas.getContext("2d");
  ctx.setTransform(ratio, 0, 0, ratio, 0, 0);
  ctx.clearRect(0, 0, w, h);
  const style = getComputedStyle(canvas);
  const ink = style.color;
  const bar = style.getPropertyValue("--bar").trim() || fallbackBar;
  ctx.font = "11px system-ui, sans-serif";
  ctx.fillStyle = ink;
  ctx.strokeStyle = ink;
  return { ctx, w, h, ink, bar };
}

// Settings of the simulated sensor: dose rate and lens cover. Absent with a
// real camera.
export class SimulatorPanel {
  constructor(root, postSim) {
    this.root = root;
    this.rate = root.querySelector('[data-sim="rate"]');
    this.lens = root.querySelector('[data-sim="lens"]');
    this.lensState = root.querySelector("#lens-state");
    this.status = root.querySelector("#sim-status");
    this.lensOpen = false;
    root.querySelector("form").addEventListener("submit", (event) => {
      event.preventDefault();
      this.sendRate();
    });
    this.rate.addEventListener("change", () => this.sendRate());
    this.lens.addEventListener("click", () => {
      this.apply(postSim({ lens: this.lensOpen ? "covered" : "open" }));
    });
    this.postSim = postSim;
  }

  sendRate() {
    const rate = Number(this.rate.value);
    if (this.rate.value === "" || !Number.isFinite(rate) || rate < 0) {
      this.status.textContent = text("Web_RateInvalid");
      return;
    }
    this.apply(this.postSim({ rate }));
  }

  async apply(answer) {
    const { ok, error } = await answer;
    this.status.textContent = ok ? "" : error;
  }

  show(sensor) {
    this.root.hidden = !sensor?.simulated;
    if (!sensor?.simulated) return;
    // Leave the field alone while someone is typing in it.
    if (document.activeElement !== this.rate && typeof sensor.rate === "number") {
      this.rate.value = String(sensor.rate);
    }
    this.lensOpen = Boolean(sensor.lensOpen);
    this.lensState.textContent = text(this.lensOpen ? "Web_LensOpen" : "Web_LensCovered");
    this.lensState.dataset.open = String(this.lensOpen);
    this.lens.textContent = text(this.lensOpen ? "Web_Cover" : "Web_Uncover");
  }
}

// A short click for each event, made by Web Audio. Browsers start sound only
// after a gesture, which the switch that turns it on is.
class Clicker {
  constructor() {
    this.context = null;
    this.nextTime = 0;
  }

  enable() {
    this.context ??= new AudioContext();
    return this.context.resume();
  }

  click(count) {
    if (!this.context || this.context.state !== "running") return;
    const now = this.context.currentTime;
    // Clicks of one snapshot spread over a fifth of a second, as a counter
    // would sound; never more than a few dozen at once.
    let at = Math.max(now, this.nextTime);
    for (let i = 0; i < Math.min(count, 40); i++) {
      this.pulse(at);
      at += 0.2 / Math.max(1, count) + 0.004;
    }
    this.nextTime = at;
  }

  pulse(at) {
    const ctx = this.context;
    const osc = ctx.createOscillator();
    const gain = ctx.createGain();
    osc.type = "square";
    osc.frequency.value = 1800;
    gain.gain.setValueAtTime(0.25, at);
    gain.gain.exponentialRampToValueAtTime(0.001, at + 0.012);
    osc.connect(gain).connect(ctx.destination);
    osc.start(at);
    osc.stop(at + 0.015);
  }
}

export class CounterPanel {
  constructor(root) {
    this.root = root;
    this.canvas = root.querySelector("canvas");
    this.total = root.querySelector("#counter-total");
    this.state = root.querySelector("#counter-state");
    this.mean = root.querySelector("#counter-mean");
    this.interval = root.querySelector("#counter-interval");
    this.sound = root.querySelector("#counter-sound");
    this.clicker = new Clicker();
    this.lastEvents = null;
    this.counter = null;
    this.sound.checked = false;
    this.sound.addEventListener("change", () => {
      if (this.sound.checked) this.clicker.enable();
    });
    new ResizeObserver(() => this.draw()).observe(this.canvas);
  }

  show(counter) {
    if (!counter) return;
    const events = counter.events ?? 0;
    // A new acquisition starts from zero: that is no click.
    if (this.sound.checked && this.lastEvents !== null && events > this.lastEvents) {
      this.clicker.click(events - this.lastEvents);
    }
    this.lastEvents = events;
    this.counter = counter;
    this.total.textContent = String(events);
    this.state.textContent = text(counter.running ? "Web_Running" : "Web_Stopped");
    this.mean.textContent = typeof counter.meanDoseRate === "number" ? doseRate(counter.meanDoseRate) : "\u2014";
    this.interval.textContent = CounterPanel.intervalText(counter);
    this.state.dataset.running = String(Boolean(counter.running));
    this.root.dataset.bins = (counter.bins || []).join(",");
    this.draw();
  }

  // The mean's interval: "0.12–0.89 μSv/h" (both in the upper bound's
  // unit), "below 3.69 μSv/h" with no event yet, "—" before any time has
  // passed.
  static intervalText(counter) {
    const low = counter.doseRateLower95, high = counter.doseRateUpper95;
    if (typeof high !== "number" || typeof low !== "number") return "\u2014";
    if ((counter.events ?? 0) === 0) return text("Web_Below", doseRate(high));
    const milli = high >= 1000;
    const inUnit = (v) => number(milli ? v / 1000 : v);
    return `${inUnit(low)}\u2013${inUnit(high)} ${milli ? "mSv/h" : "\u03bcSv/h"}`;
  }

  // Bars of events per bin, time along the bottom in seconds.
  draw() {
    const { ctx, w, h, ink, bar } = clearedChart(this.canvas, "#2a7");

    const bins = this.counter?.bins || [];
    const binSeconds = this.counter?.binSeconds || 10;
    const left = 34, right = 16, top = 8, bottom = 20;
    const plotW = w - left - right;
    const plotH = h - top - bottom;
    const most = Math.max(1, ...bins);
    // A round top of the scale: 1, 2, 5, 10, 20, 50...
    const step = [1, 2, 5].map((m) => m * 10 ** Math.floor(Math.log10(most)))
      .find((s) => s >= most / 4) ?? most;
    const scaleTop = Math.ceil(most / step) * step;

    ctx.globalAlpha = 0.25;
    ctx.beginPath();
    for (let v = 0; v <= scaleTop; v += step) {
      const y = top + plotH - (v / scaleTop) * plotH;
      ctx.moveTo(left, y + 0.5);
      ctx.lineTo(left + plotW, y + 0.5);
    }
    ctx.stroke();
    ctx.globalAlpha = 1;
    ctx.textAlign = "right";
    ctx.textBaseline = "middle";
    for (let v = 0; v <= scaleTop; v += step) {
      ctx.fillText(String(v), left - 4, top + plotH - (v / scaleTop) * plotH);
    }

    if (bins.length === 0) {
      ctx.textAlign = "center";
      ctx.fillText(text("Web_NoAcquisition"), left + plotW / 2, top + plotH / 2);
      return;
    }
    // At least a minute wide, so the first bars do not fill the chart.
    const slots = Math.max(6, bins.length);
    const slotW = plotW / slots;
    ctx.fillStyle = bar;
    bins.forEach((count, i) => {
      const barH = (count / scaleTop) * plotH;
      ctx.fillRect(left + i * slotW + 1, top + plotH - barH, Math.max(1, slotW - 2), barH);
    });
    ctx.fillStyle = ink;
    ctx.textAlign = "center";
    ctx.textBaseline = "top";
    const labelEvery = Math.ceil(slots / 6);
    for (let i = 0; i <= slots; i += labelEvery) {
      ctx.fillText(`${i * binSeconds} s`, left + i * slotW, top + plotH + 4);
    }
  }
}

// Beside the History tab: whether each saved measurement reached the
// collection server ("sent": acknowledged, "failed", "never sent"), from the
// upload log. Resending is left to `kesto upload --pending`.
export class HistoryPanel {
  constructor(root) {
    this.root = root;
    this.list = root.querySelector("ol");
    this.note = root.querySelector("#history-note");
  }

  show(history) {
    this.root.hidden = !history?.shown;
    if (!history?.shown) return;
    const records = history.records || [];
    this.note.textContent = history.simulated
      ? text("Web_UploadsSimulated")
      : records.length === 0 ? text("Web_UploadsNone") : "";
    while (this.list.children.length > records.length) this.list.lastChild.remove();
    records.forEach((record, index) => {
      let item = this.list.children[index];
      if (!item) {
        item = document.createElement("li");
        const what = document.createElement("span");
        what.className = "upload-what";
        // A tag is the person's own text in any script: isolated, so a
        // right-to-left tag does not carry the date along with it.
        const tag = document.createElement("bdi");
        tag.className = "upload-tag";
        const when = document.createElement("time");
        what.append(tag, " · ", when);
        const upload = document.createElement("span");
        upload.className = "upload-state";
        item.append(what, upload);
        this.list.append(item);
      }
      const [what, upload] = item.children;
      const tag = what.querySelector("bdi");
      const when = what.querySelector("time");
      // Tags are the person's own text: never markup. Shown whole here,
      // where a history row has to cut a long one.
      tag.textContent = record.tag ?? text("Web_NoTag");
      when.dateTime = record.startDate ?? "";
      when.textContent = dateTime(record.startDate);
      upload.textContent = text(`Web_Upload_${record.upload}`);
      upload.dataset.upload = record.upload;
    });
  }
}

// An always-on station (kesto serve --station): its rolling rates with their
// 95% intervals, the light on the sensor, the intervals of the last day as a
// chart, and its alarm in a banner above the page, whatever tab is open.
// Absent without a station.
export class StationPanel {
  constructor(root, banner) {
    this.root = root;
    this.banner = banner;
    this.summary = root.querySelector("#station-summary");
    this.light = root.querySelector("#station-light");
    this.rates = root.querySelector("tbody");
    this.canvas = root.querySelector("canvas");
    this.station = null;
    new ResizeObserver(() => this.draw()).observe(this.canvas);
  }

  static rateText(rate) {
    return typeof rate?.doseRate === "number" ? StationPanel.number(rate.doseRate) : "\u2014";
  }

  static number(value) {
    return doseRate(value);
  }

  static windowText(seconds) {
    return seconds >= 3600 ? `${seconds / 3600} h` : seconds >= 60 ? `${seconds / 60} min` : `${seconds} s`;
  }

  show(station) {
    this.root.hidden = !station;
    this.showAlarm(station);
    this.station = station || null;
    if (!station) return;
    const interval = station.interval || {};
    // Tags are the operator's own text: never markup.
    this.summary.textContent = text(
      station.simulated ? "Web_StationSummarySimulated" : "Web_StationSummary",
      StationPanel.windowText(station.intervalSeconds), station.tag, interval.events ?? 0,
      Math.round(interval.darkSeconds ?? 0), station.intervalsSaved ?? 0);
    const lit = Math.round(interval.litSeconds ?? 0);
    this.light.hidden = !station.light && lit === 0 && station.framesArriving !== false;
    this.light.textContent = !station.framesArriving
      ? text("Web_StationNoFrames")
      : text(station.light ? "Web_StationLightNow" : "Web_StationLightEarlier", lit);
    this.light.dataset.light = String(Boolean(station.light));
    const rows = station.rates || [];
    while (this.rates.children.length > rows.length) this.rates.lastChild.remove();
    rows.forEach((rate, i) => {
      let row = this.rates.children[i];
      if (!row) {
        row = document.createElement("tr");
        row.append(document.createElement("td"), document.createElement("td"), document.createElement("td"));
        this.rates.append(row);
      }
      row.children[0].textContent = StationPanel.windowText(rate.window);
      row.children[1].textContent = StationPanel.rateText(rate);
      row.children[2].textContent = CounterPanel.intervalText(rate);
    });
    this.root.dataset.bars = String((station.chart || []).length);
    this.root.dataset.frames = String(station.frames ?? 0);
    this.draw();
  }

  showAlarm(station) {
    const alarm = station?.alarm;
    this.banner.hidden = !alarm?.raised;
    if (!alarm?.raised) return;
    const since = alarm.since ? text("Web_StationAlarmSince", dateTime(alarm.since)) : "";
    this.banner.textContent = text(
      station.simulated ? "Web_StationAlarmSimulated" : "Web_StationAlarm",
      StationPanel.windowText(alarm.window), StationPanel.number(alarm.above), since);
  }

  // One bar per interval (its rate), with its 95% interval as a line.
  draw() {
    const { ctx, w, h, ink, bar } = clearedChart(this.canvas, "#25a");
    const bars = (this.station?.chart || []).filter((b) => typeof b.doseRateUpper95 === "number");
    const left = 40, right = 8, top = 8, bottom = 20;
    const plotW = w - left - right;
    const plotH = h - top - bottom;
    if (bars.length === 0) {
      ctx.textAlign = "center";
      ctx.fillText(text("Web_StationNoInterval"), left + plotW / 2, top + plotH / 2);
      return;
    }
    const most = Math.max(...bars.map((b) => b.doseRateUpper95), 1e-3);
    const scaleTop = most * 1.05;
    const y = (v) => top + plotH - (Math.min(v, scaleTop) / scaleTop) * plotH;
    ctx.textAlign = "right";
    ctx.textBaseline = "middle";
    ctx.fillText(most >= 100 ? most.toFixed(0) : most >= 10 ? most.toFixed(1) : most.toFixed(2),
      left - 4, y(most));
    ctx.fillText("0", left - 4, y(0));
    const slots = Math.max(24, bars.length);
    const slotW = plotW / slots;
    bars.forEach((b, i) => {
      const x = left + (slots - bars.length + i) * slotW;
      ctx.fillStyle = bar;
      const barTop = y(b.doseRate ?? 0);
      ctx.fillRect(x + 0.5, barTop, Math.max(1, slotW - 1), y(0) - barTop);
      ctx.beginPath();
      ctx.moveTo(x + slotW / 2, y(b.doseRateLower95 ?? 0));
      ctx.lineTo(x + slotW / 2, y(b.doseRateUpper95));
      ctx.stroke();
    });
    ctx.fillStyle = ink;
    ctx.textAlign = "left";
    ctx.textBaseline = "top";
    const first = bars[0].start?.slice(11, 16) ?? "";
    const last = bars[bars.length - 1].start?.slice(11, 16) ?? "";
    ctx.fillText(`${first} UTC, \u03bcSv/h`, left, top + plotH + 4);
    ctx.textAlign = "right";
    ctx.fillText(last, left + plotW, top + plotH + 4);
  }
}
