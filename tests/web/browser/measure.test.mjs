// The Measure tab in a browser on the simulated sensor: light reaching the
// sensor mid-measurement, and a measurement saved with a typed tag.

import assert from "node:assert/strict";
import { after, before, test } from "node:test";
import {
  control, measureUntil, openPage, saveMeasurement, sim,
  startWithCollection, tab, waitForTop,
} from "./kesto.mjs";

let server;
let browser;
let collection;
let stop;
before(async () => {
  ({ server, collection, browser, stop } = await startWithCollection("sim:rate=0,seed=3,size=64x48"));
});
after(async () => {
  await stop?.();
});

test("light on the sensor calls for the calibration screen, whose OK abandons the measurement", async () => {
  const page = await openPage(browser, server);
  await measureUntil(page, 0);
  await sim(page, "lens").click();
  await waitForTop(page, "ReglageViewController");
  await page.locator('#lens-state[data-open="true"]').waitFor();
  assert.equal(await control(page, "okBtn").isDisabled(), true);

  await sim(page, "lens").click();
  await page.locator('#phone .top [data-outlet="okBtn"]:not([disabled])').waitFor();
  assert.match(await control(page, "statusImgView").getAttribute("src"), /btn_start\.png$/);
  await control(page, "okBtn").click();

  await waitForTop(page, "MeasureViewController");
  await page.locator('#counter-state[data-running="false"]').waitFor();
  assert.match(await control(page, "btnStart").locator("img").getAttribute("src"), /B_play\.png$/);
  assert.equal((await control(page, "lblElapsedTime").textContent()).trim(), "00:00:00");
  assert.deepEqual(page.errors, []);
});

test("a measurement saved with a typed tag is the History tab's first row; nothing is sent", async () => {
  const page = await openPage(browser, server);
  // A strong source, so that events come at once.
  await sim(page, "rate").fill("20000");
  await sim(page, "rate").press("Enter");
  await page.waitForFunction(() => window.kestoState?.sensor?.rate === 20000);
  await measureUntil(page, 3);
  await saveMeasurement(page, "Cellar 2");

  assert.equal(await tab(page, 2).getAttribute("aria-pressed"), "true");
  const firstRow = page.locator('#phone .top [data-outlet="tblHistory"] .table-row[data-row="0"]');
  assert.equal((await firstRow.locator('[data-outlet="lblTag"]').textContent()).trim(), "Cellar 2");

  // A simulated measurement is never sent to the collection server.
  await new Promise((r) => setTimeout(r, 1500));
  assert.deepEqual(collection.received, []);
  assert.deepEqual(page.errors, []);
});
