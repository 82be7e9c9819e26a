// The Alert tab in a browser: one whole 30-second detection (the only one
// the browser tests run), its verdict, "detect again", and the tab guard.

import assert from "node:assert/strict";
import { after, before, test } from "node:test";
import {
  KestoServer, alertButton, control, launchBrowser, openPage, tab, waitForAlert, waitForTop,
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
  const idleHint = await control(page, "lblCommandMsg").textContent();
  await control(page, "btnCommand").click();
  await page.locator('#counter-state[data-running="true"]').waitFor();
  assert.notEqual(await control(page, "lblCommandMsg").textContent(), idleHint);
  await page.waitForFunction(() => /\d+ s/.test(document.querySelector('[data-outlet="lblTimer"]').textContent)
    && !document.querySelector('[data-outlet="lblTimer"]').textContent.startsWith("30"));

  // The guard: "No" keeps the tab and the detection.
  await tab(page, 3).click();
  await waitForAlert(page);
  await alertButton(page, 1).click();
  await waitForAlert(page, false);
  assert.equal(await tab(page, 0).getAttribute("aria-pressed"), "true");
  assert.equal(await counterRunning(page), "true");

  await waitForTop(page, "DetectionFinishViewController", 45000);
  assert.equal(await counterRunning(page), "false");
  // No event in 30 s: the panel says how high the rate could still be.
  assert.match(await page.locator("#counter-interval").textContent(), /^below \d+\.\d\d μSv\/h$/);
  assert.match(await control(page, "bgImgView").getAttribute("src"), /\/images\/A02\.png$/);
  assert.notEqual((await control(page, "lblMsg").textContent()).trim(), "");

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
