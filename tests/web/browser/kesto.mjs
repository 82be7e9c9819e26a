// Shared by the browser tests: starts `kesto serve` on a free loopback port
// with its own data directory, opens the page in headless Chromium, and
// finds the controls by the data attributes the page puts on them.

import { spawn } from "node:child_process";
import { once } from "node:events";
import fs from "node:fs/promises";
import http from "node:http";
import net from "node:net";
import os from "node:os";
import path from "node:path";
import { fileURLToPath } from "node:url";
import { chromium } from "playwright-core";

export const repoRoot = path.resolve(path.dirname(fileURLToPath(import.meta.url)), "../../..");
const kestoBinary = process.env.KESTO_BIN || path.join(repoRoot, "build/release/bin/kesto");
const chromiumBinary = process.env.KESTO_CHROMIUM || "/usr/bin/chromium";

export async function tempDir(prefix = "kesto-browser-") {
  return fs.mkdtemp(path.join(os.tmpdir(), prefix));
}

// One `kesto serve`. `sensor` is the --sensor text; `extra` more options;
// `env` more environment (LANG for its language: English by default).
// The same port and data directory survive stop() and start() (a restart).
export class KestoServer {
  constructor({ sensor = "sim:rate=0,seed=1,size=64x48", extra = [], env = {}, port, dataDir } = {}) {
    this.sensor = sensor;
    this.extra = extra;
    this.env = { ...process.env, LANG: "en_US.UTF-8", LANGUAGE: "", LC_ALL: "", ...env };
    this.port = port;
    this.dataDir = dataDir;
    this.output = "";
    this.process = null;
  }

  get origin() {
    return `http://127.0.0.1:${this.port}`;
  }

  async start() {
    if (this.port === undefined) {
      // A free port: one the system gives to a listener closed at once.
      const probe = net.createServer().listen(0, "127.0.0.1");
      await once(probe, "listening");
      this.port = probe.address().port;
      await new Promise((r) => probe.close(r));
    }
    this.dataDir ??= await tempDir();
    const args = ["serve", "--sensor", this.sensor, "--listen", `127.0.0.1:${this.port}`,
      "--data-dir", this.dataDir, ...this.extra];
    this.process = spawn(kestoBinary, args, { stdio: ["ignore", "pipe", "pipe"], env: this.env });
    const keep = (chunk) => { this.output += chunk; };
    this.process.stdout.on("data", keep);
    this.process.stderr.on("data", keep);
    const exited = once(this.process, "exit");
    // Ready when it answers; a server that dies first says why.
    const deadline = Date.now() + 20000;
    for (;;) {
      if (this.process.exitCode !== null) {
        throw new Error(`kesto serve exited (${this.process.exitCode}):\n${this.output}`);
      }
      try {
        const response = await fetch(`${this.origin}/`);
        await response.arrayBuffer();
        if (response.status < 500) break;
      } catch {
        // Not listening yet.
      }
      if (Date.now() > deadline) {
        await this.stop();
        throw new Error(`kesto serve did not answer within 20 s:\n${this.output}`);
      }
      await Promise.race([exited, new Promise((r) => setTimeout(r, 100))]);
    }
    return this;
  }

  // SIGTERM, as a service manager stops it; a server that hangs is killed
  // and the test fails.
  async stop() {
    const child = this.process;
    if (!child || child.exitCode !== null || child.signalCode !== null) return;
    const exited = once(child, "exit");
    child.kill("SIGTERM");
    const timer = setTimeout(() => child.kill("SIGKILL"), 10000);
    const [code, signal] = await exited;
    clearTimeout(timer);
    this.process = null;
    if (signal === "SIGKILL") throw new Error(`kesto serve ignored SIGTERM:\n${this.output}`);
    return code;
  }
}

export async function launchBrowser() {
  return chromium.launch({
    executablePath: chromiumBinary,
    // Root in a container has no user namespaces for Chromium's sandbox.
    args: process.getuid?.() === 0 ? ["--no-sandbox"] : [],
  });
}

// A page of the served application, with the errors it logs kept for the
// test to check.
export async function openPage(browser, server, { viewport = { width: 900, height: 640 }, path: at = "/" } = {}) {
  const page = await browser.newPage({ viewport });
  page.errors = [];
  page.on("pageerror", (error) => page.errors.push(error.message));
  await page.goto(`${server.origin}${at}`);
  await page.locator('[data-tab="0"]').waitFor();
  return page;
}

// Locators by the page's data attributes.
// A control of the screen that takes the taps (the modal one when it is up).
export const control = (page, name) =>
  page.locator(`#phone .top [data-outlet="${name}"], #phone .top [data-action="${name}"]`).first();
export const tab = (page, index) => page.locator(`[data-tab="${index}"]`);
export const alertButton = (page, index) => page.locator(`[data-alert-button="${index}"]`);
export const sim = (page, name) => page.locator(`[data-sim="${name}"]`);

// Waits until the phone's top screen (the modal, if one is up) is `name`.
export async function waitForTop(page, name, timeout = 10000) {
  await page.locator(`#phone[data-top="${name}"]`).waitFor({ timeout });
}

export async function waitForAlert(page, shown = true, timeout = 10000) {
  await page.locator("#phone > .alert").waitFor({ state: shown ? "visible" : "hidden", timeout });
}

// `kesto serve` on `sensor` and a browser, the server sending to a stand-in
// collection server on loopback that keeps every request it gets and answers
// 200: { server, collection, browser, stop() }.
export async function startWithCollection(sensor) {
  const received = [];
  const stand = http.createServer((request, response) => {
    const chunks = [];
    request.on("data", (chunk) => chunks.push(chunk));
    request.on("end", () => {
      received.push({ method: request.method, url: request.url, headers: request.headers,
        body: Buffer.concat(chunks).toString("utf8") });
      response.writeHead(200, { "Content-Type": "text/plain" });
      response.end("OK");
    });
  }).listen(0, "127.0.0.1");
  await once(stand, "listening");
  const url = `http://127.0.0.1:${stand.address().port}`;
  const server = await new KestoServer({ sensor, extra: ["--server", url] }).start();
  const browser = await launchBrowser();
  return {
    server, collection: { received }, browser,
    stop: async () => {
      await browser.close();
      await server.stop();
      await new Promise((r) => stand.close(r));
    },
  };
}

// Measures with the page as a person would: the Measure tab, start, until
// the counter has seen `events` events.
export async function measureUntil(page, events = 1, timeout = 20000) {
  await tab(page, 1).click();
  await waitForTop(page, "MeasureViewController");
  await control(page, "btnStart").click();
  await page.locator('#counter-state[data-running="true"]').waitFor({ timeout: 5000 });
  await page.waitForFunction((n) => (window.kestoState?.counter?.events ?? 0) >= n, events, { timeout });
}

// Saves the running measurement under `tag`: Save, "Yes" to stop it, the tag
// typed key by key into the tag field (a slip mended with Backspace), and
// Enter, which is OK.
export async function saveMeasurement(page, tag) {
  await control(page, "btnSave").click();
  await waitForAlert(page);
  await alertButton(page, 0).click();
  await waitForTop(page, "RegisterRadioactivityViewController");
  const field = control(page, "txtTag");
  await field.click();
  await field.pressSequentially(`${tag}#`);
  await field.press("Backspace");
  await page.waitForFunction(
    (t) => document.querySelector('#phone .top [data-outlet="txtTag"]')?.value === t, tag);
  await field.press("Enter");
  await waitForTop(page, "HistoryViewController");
}

const axeSource = path.join(path.dirname(fileURLToPath(import.meta.url)),
  "node_modules/axe-core/axe.min.js");

// What a person (or a screen reader) would find wrong on the page as it is
// now, one line each: axe-core's violations (the help page's sandboxed
// frame runs no scripts and is left out), text that does not fit its box
// (each element's scroll size against its box; table views and the upload
// list scroll by design), and phone controls under 44 px high.
export async function problems(page) {
  if (!(await page.evaluate(() => Boolean(window.axe)))) await page.addScriptTag({ path: axeSource });
  const found = await page.evaluate(async () => {
    const lines = [];
    const { violations } = await window.axe.run(document, { iframes: false });
    for (const v of violations) {
      for (const node of v.nodes) lines.push(`axe ${v.id}: ${node.target.join(" ")} (${node.failureSummary?.split("\n")[1]?.trim() ?? v.help})`);
    }
    const name = (e) => e.dataset?.outlet || e.dataset?.action || e.id || `${e.tagName.toLowerCase()}.${e.className}`;
    for (const e of document.querySelectorAll("body *")) {
      if (e.closest("[hidden], .table-view > *:not(.table-row), script, style, canvas, iframe, .visually-hidden")) continue;
      if (e.matches(".table-view, .upload-list, .phone, .screen, .modal, .alert")) continue;
      if (e.getClientRects().length === 0) continue;
      const wide = e.scrollWidth - e.clientWidth, tall = e.scrollHeight - e.clientHeight;
      if ((e.clientWidth > 0 || e.clientHeight > 0) && (wide > 1 || tall > 1)) {
        lines.push(`overflow: ${name(e)} "${e.textContent.trim().slice(0, 60)}" by ${wide}×${tall} px`);
      }
    }
    for (const e of document.querySelectorAll("#phone button, #phone input")) {
      if (e.getClientRects().length === 0 || e.closest("[hidden]")) continue;
      const { height } = e.getBoundingClientRect();
      if (height < 44) lines.push(`small target: ${name(e)} ${height} px high`);
    }
    return lines;
  });
  return found;
}

// problems() at the phone's size and at a desktop's, named after `state`.
export async function problemsAtBothSizes(page, state) {
  const found = [];
  const viewport = page.viewportSize();
  for (const size of [{ width: 390, height: 844 }, { width: 1280, height: 800 }]) {
    await page.setViewportSize(size);
    await page.evaluate(() => new Promise((r) => requestAnimationFrame(() => requestAnimationFrame(r))));
    for (const line of await problems(page)) found.push(`${state} at ${size.width}: ${line}`);
  }
  await page.setViewportSize(viewport);
  return found;
}
