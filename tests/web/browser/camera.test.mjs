// A camera that stops sending frames, in a browser: the measurement ends at
// its last frame and the page says so, instead of a read-out that goes on
// over time nobody watched.

import assert from "node:assert/strict";
import { after, before, test } from "node:test";
import {
  KestoServer, alertButton, control, launchBrowser, openPage, tab, waitForAlert, waitForTop,
} from "./kesto.mjs";

let server;
let browser;
before(async () => {
  // Three seconds of frames, then silence.
  server = await new KestoServer({ sensor: "sim:rate=0,seed=5,size=64x48,frames=30" }).start();
  browser = await launchBrowser();
});
after(async () => {
  await browser?.close();
  await server?.stop();
});

test("a measurement whose camera goes quiet ends at its last frame and says so", async () => {
  const page = await openPage(browser, server);
  await tab(page, 1).click();
  await waitForTop(page, "MeasureViewController");
  await control(page, "btnStart").click();
  await page.locator('#counter-state[data-running="true"]').waitFor();

  await waitForAlert(page, true, 20000);
  assert.match(await page.locator("#phone > .alert").textContent(), /camera stopped sending frames/);
  await page.locator('#counter-state[data-running="false"]').waitFor();
  assert.match((await control(page, "lblElapsedTime").textContent()).trim(), /^00:00:0[23]$/);
  await alertButton(page, 0).click();
  await waitForAlert(page, false);
  assert.match(await control(page, "btnStart").locator("img").getAttribute("src"), /B_play\.png$/);

  // The station's view: the camera stopped, and no frame since.
  const metrics = await (await fetch(`${server.origin}/metrics`)).text();
  assert.match(metrics, /^kesto_frames_stopped\{sensor="sim"\} 1$/m);
  assert.deepEqual(page.errors, []);
});
