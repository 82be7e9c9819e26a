// An always-on station in a browser: the chart gains a bar per interval
// while a person runs an Alert check, and a stop by SIGTERM keeps both the
// station's interval and the measurement running on the Measure tab.

import assert from "node:assert/strict";
import { readFile } from "node:fs/promises";
import path from "node:path";
import { after, before, test } from "node:test";
import { KestoServer, control, launchBrowser, measureUntil, openPage, waitForTop } from "./kesto.mjs";

let browser;
before(async () => {
  browser = await launchBrowser();
});
after(async () => {
  await browser?.close();
});

const station = (page) => page.evaluate(() => window.kestoState?.station);

test("each 10 s interval becomes a bar; an Alert check meanwhile leaves the count whole", async () => {
  const server = await new KestoServer({
    sensor: "sim:rate=50,seed=11,size=64x48",
    extra: ["--station", "--interval", "10s"],
  }).start();
  try {
    const page = await openPage(browser, server, { viewport: { width: 1280, height: 800 } });
    await page.locator("#station-panel:not([hidden])").waitFor();
    const bars = async () => Number(await page.locator("#station-panel").getAttribute("data-bars"));
    const first = await bars();

    await waitForTop(page, "AlertViewController");
    await control(page, "btnCommand").click();
    await page.locator('#counter-state[data-running="true"]').waitFor();
    const framesAtCheck = (await station(page)).frames;

    // Two intervals close while the check runs.
    await page.waitForFunction((n) => (window.kestoState?.station?.chart?.length ?? 0) >= n,
      first + 2, { timeout: 30000 });
    const now = await station(page);
    assert.ok(now.frames > framesAtCheck, "the station's frame count goes on");
    // The interval that ran whole during the check measured all its 10 s.
    const whole = now.chart[now.chart.length - 1];
    assert.ok(whole.darkSeconds >= 9, `an interval of ${whole.darkSeconds} s`);
    assert.equal(whole.saved, true);
    assert.ok(await bars() >= first + 2);
    assert.deepEqual(page.errors, []);
  } finally {
    await server.stop();
  }
});

test("SIGTERM saves the running measurement, tagged as stopped by the system, and the interval", async () => {
  const server = await new KestoServer({
    sensor: "sim:rate=20000,seed=12,size=64x48",
    extra: ["--station"],
  }).start();
  const page = await openPage(browser, server);
  await measureUntil(page, 3);
  await page.waitForFunction(() => (window.kestoState?.station?.interval?.events ?? 0) > 0);
  assert.equal(await server.stop(), 0);
  assert.match(server.output, /Saved the running measurement as "Stopped by the system"/);
  const saved = await readFile(path.join(server.dataDir, "simulated", "radiationHistory.txt"), "utf8");
  assert.match(saved, /Stopped by the system/);
  assert.match(saved, /Station/);
  await page.close();
});
