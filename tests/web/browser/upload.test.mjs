// A measurement from a real sensor source (a raw frame replay), saved in the
// browser, reaches the collection server.

import assert from "node:assert/strict";
import fs from "node:fs/promises";
import path from "node:path";
import { after, before, test } from "node:test";
import {
  measureUntil, openPage, repoRoot, saveMeasurement,
  startWithCollection, tempDir,
} from "./kesto.mjs";

let server;
let browser;
let collection;
let stop;
before(async () => {
  // The bundled covered frame, three particle hits in each: events at once.
  const frames = await tempDir("kesto-frames-");
  await fs.copyFile(path.join(repoRoot, "resources/samples/covered-160x120.bgra"),
    path.join(frames, "frame-0001.bgra"));
  ({ server, collection, browser, stop } = await startWithCollection(`raw:${frames},width=160,height=120,loop`));
});
after(async () => {
  await stop?.();
});

test("a saved measurement is posted to the collection server with its tag", async () => {
  const page = await openPage(browser, server);
  // A real source has no simulator settings.
  assert.equal(await page.locator("#sim-panel").isHidden(), true);
  assert.equal(await page.locator("#sim-mark").isHidden(), true);

  await measureUntil(page, 2);
  await saveMeasurement(page, "Roof");

  const deadline = Date.now() + 10000;
  while (collection.received.length === 0 && Date.now() < deadline) {
    await new Promise((r) => setTimeout(r, 100));
  }
  assert.equal(collection.received.length, 1);
  const [upload] = collection.received;
  assert.equal(upload.method, "POST");
  assert.equal(upload.url, "/clients/Kesto/addRadioactivityHistory.php");
  assert.match(upload.headers["content-type"], /multipart\/form-data; boundary=AaB03x/);
  assert.match(upload.body, /\r\n\r\nRoof\r\n/);
  assert.deepEqual(page.errors, []);
});
