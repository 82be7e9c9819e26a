// The other end of the upload: a measurement from a real sensor source (a
// raw frame replay) saved by `kesto measure --server` lands in `kesto
// collect` and shows on its map, in its device table and chart.

import assert from "node:assert/strict";
import { execFile, spawn } from "node:child_process";
import { once } from "node:events";
import fs from "node:fs/promises";
import path from "node:path";
import { promisify } from "node:util";
import { after, before, test } from "node:test";
import { launchBrowser, repoRoot, tempDir } from "./kesto.mjs";

const kesto = process.env.KESTO_BIN || path.join(repoRoot, "build/release/bin/kesto");
const run = promisify(execFile);

let collect;
let origin;
let browser;
let output = "";

before(async () => {
  const data = await tempDir("kesto-collect-");
  collect = spawn(kesto, ["collect", "--listen", "127.0.0.1:0", "--data-dir", data],
    { stdio: ["ignore", "pipe", "pipe"] });
  collect.stdout.on("data", (chunk) => { output += chunk; });
  collect.stderr.on("data", (chunk) => { output += chunk; });
  const deadline = Date.now() + 20000;
  while (!/Open (http:\/\/127\.0\.0\.1:\d+)\//.test(output)) {
    if (collect.exitCode !== null || Date.now() > deadline) {
      throw new Error(`kesto collect did not start:\n${output}`);
    }
    await new Promise((r) => setTimeout(r, 100));
  }
  origin = output.match(/Open (http:\/\/127\.0\.0\.1:\d+)\//)[1];
  browser = await launchBrowser();
});

after(async () => {
  await browser?.close();
  if (collect && collect.exitCode === null) {
    const exited = once(collect, "exit");
    collect.kill("SIGTERM");
    await exited;
  }
});

test("a measurement sent by kesto measure shows on the collection map", async () => {
  const frames = await tempDir("kesto-frames-");
  await fs.copyFile(path.join(repoRoot, "resources/samples/covered-160x120.bgra"),
    path.join(frames, "frame-0001.bgra"));
  const device = await tempDir("kesto-device-");
  const measured = await run(kesto, ["measure", "--sensor", `raw:${frames},width=160,height=120,loop`,
    "--duration", "3", "--tag", "Cellar ☢", "--position", "48.8566,2.3522",
    "--data-dir", device, "--server", origin, "--verbose"], { timeout: 60000 });
  // What the person reads, and (with --verbose) the server's own answer.
  assert.match(measured.stdout, /Upload: sent/);
  assert.match(measured.stderr, /Response:stored/);

  for (const viewport of [{ width: 1280, height: 800 }, { width: 390, height: 844 }]) {
    const page = await browser.newPage({ viewport, hasTouch: viewport.width < 500 });
    const errors = [];
    page.on("pageerror", (error) => errors.push(error.message));
    await page.goto(`${origin}/`);
    // The map (no tile server set: a plain background) shows the point.
    await page.locator('#map[data-points="1"]').waitFor({ timeout: 10000 });
    await page.locator("#devices tbody tr").first().waitFor();
    assert.equal(await page.locator("#devices tbody tr").count(), 1);
    assert.match(await page.locator("#summary").textContent(), /1 measurement\(s\) from 1 device\(s\)/);
    await page.locator(".leaflet-interactive").first().hover();
    const tooltip = page.locator(".leaflet-tooltip");
    await tooltip.waitFor();
    assert.match(await tooltip.textContent(), /Cellar ☢/);
    assert.match(await tooltip.textContent(), /95%: [\d.]+–[\d.]+ [μm]Sv\/h/);
    await page.locator("#devices tbody tr").first().click();
    await page.locator('#chart[data-points="1"]').waitFor();
    assert.equal(await page.locator("#chart circle").count(), 1);
    if (process.env.KESTO_SCREENSHOTS) {
      await page.screenshot({ path: path.join(process.env.KESTO_SCREENSHOTS, `collect-${viewport.width}.png`) });
    }
    assert.deepEqual(errors, []);
    await page.close();
  }
  // The export has it, with the history's columns and the device.
  const csv = await (await fetch(`${origin}/export.csv`)).text();
  assert.match(csv, /^tag,start,stop,duration_s,.*,simulated,device\r\nCellar ☢,/);
});
