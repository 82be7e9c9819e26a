// The Measure tab in a browser on the simulated sensor: light reaching the
// sensor mid-measurement, the questions answered from the keyboard, Save
// after a check on the Alert tab, and a measurement saved with a typed tag
// as a phone shows it.

import assert from "node:assert/strict";
import { after, before, test } from "node:test";
import {
  alertButton, control, measureUntil, openPage, saveMeasurement, sim,
  startWithCollection, tab, waitForAlert, waitForTop,
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

async function setRate(page, rate) {
  await sim(page, "rate").fill(String(rate));
  await sim(page, "rate").press("Enter");
  await page.waitForFunction((r) => window.kestoState?.sensor?.rate === r, rate);
}

// "1.98 mSv/h" in μSv/h.
const microSievertsPerHour = (text) => {
  const [value, unit] = text.trim().split(" ");
  return Number(value) * (unit.startsWith("m") ? 1000 : 1);
};

test("light on the sensor calls for the calibration screen, whose OK abandons the measurement", async () => {
  const page = await openPage(browser, server);
  await measureUntil(page, 0);
  await sim(page, "lens").click();
  await waitForTop(page, "ReglageViewController");
  await page.locator('#lens-state[data-open="true"]').waitFor();
  assert.equal(await control(page, "okBtn").isDisabled(), true);
  assert.equal(await control(page, "statusImgView").getAttribute("alt"), "Red: light reaches the sensor");

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

test("Save offers only what the Measure tab measured, not the Alert tab's check", async () => {
  const page = await openPage(browser, server);
  await setRate(page, 20000);
  await tab(page, 0).click();
  await waitForTop(page, "AlertViewController");
  await control(page, "btnCommand").click();
  await page.waitForFunction(() => (window.kestoState?.counter?.events ?? 0) >= 2);
  await control(page, "btnCommand").click();
  await page.locator('#counter-state[data-running="false"]').waitFor();

  await tab(page, 1).click();
  await waitForTop(page, "MeasureViewController");
  await control(page, "btnSave").click();
  await waitForAlert(page);
  assert.equal(await page.locator("#phone .alert-box p").textContent(),
    "Nothing to save: no particle has been detected.");
  await alertButton(page, 0).click();
  await waitForAlert(page, false);
  await waitForTop(page, "MeasureViewController");
  await setRate(page, 0);
});

test("questions take the keyboard: the focus is on No, Escape answers it, Enter in the tag is OK", async () => {
  const page = await openPage(browser, server);
  await setRate(page, 20000);
  await measureUntil(page, 12);
  // The panel gives the run's mean with its interval, which holds it.
  const shown = await page.evaluate(() => ["#counter-mean", "#counter-interval"]
    .map((id) => document.querySelector(id).textContent));
  const mean = microSievertsPerHour(shown[0]);
  const [range, unit] = shown[1].trim().split(" ");
  const [low, high] = range.split("–").map((v) => microSievertsPerHour(`${v} ${unit}`));
  assert.ok(low <= mean && mean <= high, `${low} ≤ ${mean} ≤ ${high}`);

  await control(page, "btnStart").click();
  await waitForAlert(page);
  assert.equal(await page.evaluate(() => document.activeElement?.dataset.alertButton), "1");
  await page.keyboard.press("Escape");
  await waitForAlert(page, false);
  assert.equal(await page.locator("#counter-state").getAttribute("data-running"), "true");

  await saveMeasurement(page, "Attic");
  const firstRow = page.locator('#phone .top [data-outlet="tblHistory"] .table-row[data-row="0"]');
  assert.equal((await firstRow.locator('[data-outlet="lblTag"]').textContent()).trim(), "Attic");
  await setRate(page, 0);
  assert.deepEqual(page.errors, []);
});

test("a saved measurement on a phone: its row, and its upload right under the phone with its whole tag", async () => {
  const page = await openPage(browser, server, { viewport: { width: 390, height: 844 } });
  await setRate(page, 20000);
  await measureUntil(page, 3);
  // A long tag in a right-to-left script.
  const tag = "מדידה ליד המחסן הישן בחצר האחורית של סבתא, ליד העץ הגדול";
  await saveMeasurement(page, tag);

  assert.equal(await tab(page, 2).getAttribute("aria-pressed"), "true");
  const row = page.locator('#phone .top [data-outlet="tblHistory"] .table-row[data-row="0"]');
  // Cut on the phone's row, but whole in its title.
  assert.equal(await row.locator('[data-outlet="lblTag"]').getAttribute("title"), tag);

  const uploads = page.locator("#history-panel");
  const phoneBottom = (await page.locator("#phone").boundingBox()).y + 480;
  assert.ok((await uploads.boundingBox()).y < phoneBottom + 120, "the Uploads panel follows the phone");
  const item = uploads.locator("li").first();
  assert.equal(await item.locator("bdi").textContent(), tag);
  const when = await item.locator("time").textContent();
  assert.doesNotMatch(when, /\d{4}-\d\d-\d\dT/);
  assert.equal(when, await page.evaluate((iso) => new Intl.DateTimeFormat("en",
    { dateStyle: "medium", timeStyle: "short" }).format(new Date(iso)),
  await item.locator("time").getAttribute("datetime")));

  // A simulated measurement is never sent to the collection server.
  await new Promise((r) => setTimeout(r, 1500));
  assert.deepEqual(collection.received, []);
  assert.deepEqual(page.errors, []);
});

test("a measurement saved within a second of its start reads the same after a restart", async () => {
  let page = await openPage(browser, server);
  await setRate(page, 20000);
  await measureUntil(page, 1);
  await saveMeasurement(page, "Shed");
  // The History tab's totals and the new row, as the file will give them back.
  const shown = () => page.evaluate(() => {
    const top = document.querySelector("#phone .top");
    const row = top.querySelector('[data-outlet="tblHistory"] .table-row[data-row="0"]');
    return [top.querySelector('[data-outlet="lblDesc"]')?.textContent,
      ...["lblTag", "lblVd", "lblVm", "lblDuration"].map(
        (outlet) => row?.querySelector(`[data-outlet="${outlet}"]`)?.textContent)];
  });
  const before = await shown();
  assert.equal(before[1].trim(), "Shed");
  await page.close();
  await server.stop();
  await server.start();
  page = await openPage(browser, server);
  await tab(page, 2).click();
  await waitForTop(page, "HistoryViewController");
  await page.locator('#phone .top [data-outlet="tblHistory"] .table-row[data-row="0"]').waitFor();
  assert.deepEqual(await shown(), before);
  assert.deepEqual(page.errors, []);
});
