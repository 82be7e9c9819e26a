// The Alert tab in a browser: one whole 30-second detection (the only one
// this file runs), its verdict, "detect again", the tab guard, and light
// coming in while the guard asks.

import assert from "node:assert/strict";
import { after, before, test } from "node:test";
import {
  KestoServer, alertButton, control, launchBrowser, openPage, problemsAtBothSizes, sim, tab,
  waitForAlert, waitForTop,
} from "./kesto.mjs";

let server;
let browser;
before(async () => {
  // No particles: the verdict is known in advance.
  server = await new KestoServer({ sensor: "sim:rate=0,seed=7,size=64x48" }).start();
  browser = await launchBrowser();
});
after(async () => {
  await browser?.close();
  await server?.stop();
});

const counterRunning = (page) => page.locator("#counter-state").getAttribute("data-running");

test("a detection runs its 30 seconds to the verdict, keeps its tab, and starts again", async () => {
  const page = await openPage(browser, server);
  await waitForTop(page, "AlertViewController");
  // The start control is a button a person sees, and a screen reader names.
  const start = page.getByRole("button", { name: "Start or stop the 30-second check" });
  assert.match(await start.locator("img").getAttribute("src"), /\/images\/A_check\.png$/);
  assert.ok((await start.boundingBox()).height >= 44);
  const idleHint = await control(page, "lblCommandMsg").textContent();
  await start.click();
  await page.locator('#counter-state[data-running="true"]').waitFor();
  assert.notEqual(await control(page, "lblCommandMsg").textContent(), idleHint);
  await page.waitForFunction(() => /\d+ s/.test(document.querySelector('[data-outlet="lblTimer"]').textContent)
    && !document.querySelector('[data-outlet="lblTimer"]').textContent.startsWith("30"));
  assert.equal(await control(page, "lblTimer").getAttribute("role"), "timer");

  // The guard: "No" keeps the tab and the detection.
  await tab(page, 3).click();
  await waitForAlert(page);
  await alertButton(page, 1).click();
  await waitForAlert(page, false);
  assert.equal(await tab(page, 0).getAttribute("aria-pressed"), "true");
  assert.equal(await counterRunning(page), "true");

  // A screen reader hears the countdown now and then, not at every second.
  await page.locator("#announcer", { hasText: /^20 s$/ }).waitFor({ timeout: 15000 });
  await waitForTop(page, "DetectionFinishViewController", 45000);
  assert.equal(await counterRunning(page), "false");
  // No event in 30 s: the panel says how high the run's mean could still be.
  assert.match(await page.locator("#counter-interval").textContent(), /^below \d+\.\d\d μSv\/h$/);
  assert.match(await control(page, "bgImgView").getAttribute("src"), /\/images\/A02\.png$/);
  assert.equal(await control(page, "bgImgView").getAttribute("alt"), "No particle detected");
  assert.notEqual((await control(page, "lblMsg").textContent()).trim(), "");
  assert.equal(await control(page, "lblMsg").getAttribute("aria-live"), "polite");
  assert.deepEqual(await problemsAtBothSizes(page, "verdict without particles"), []);

  await control(page, "btnReDetectClicked").click();
  await waitForTop(page, "AlertViewController");
  await page.locator('#counter-state[data-running="true"]').waitFor();

  // The guard: "Yes" leaves for the tab asked for and stops the detection.
  await tab(page, 2).click();
  await waitForAlert(page);
  await alertButton(page, 0).click();
  await waitForTop(page, "HistoryViewController");
  await page.locator('#counter-state[data-running="false"]').waitFor();
  assert.deepEqual(page.errors, []);
});

test("light that comes while the guard asks leaves no calibration screen behind once left", async () => {
  const page = await openPage(browser, server);
  await tab(page, 0).click();
  await waitForTop(page, "AlertViewController");
  await control(page, "btnCommand").click();
  await page.locator('#counter-state[data-running="true"]').waitFor();
  await tab(page, 2).click();
  await waitForAlert(page);
  // The calibration screen comes up under the question.
  await sim(page, "lens").click();
  await page.waitForFunction(() => window.kestoState?.app?.modal?.screen === "ReglageViewController");
  await alertButton(page, 0).click();
  await sim(page, "lens").click();
  await page.locator('#lens-state[data-open="false"]').waitFor();

  await waitForTop(page, "HistoryViewController");
  await tab(page, 0).click();
  await waitForTop(page, "AlertViewController");
  // Another browser, or this one reloaded, finds the application free too.
  await page.reload();
  await waitForTop(page, "AlertViewController");
  await control(page, "btnCommand").click();
  await page.locator('#counter-state[data-running="true"]').waitFor();
  await control(page, "btnCommand").click();
  await page.locator('#counter-state[data-running="false"]').waitFor();
  assert.deepEqual(page.errors, []);
});
