// The page around the screens: the help page and its image, reconnection
// after a restart, and the page behind an access token (which requests the
// server refuses is WebFrontEndTest's).

import assert from "node:assert/strict";
import fs from "node:fs/promises";
import path from "node:path";
import { after, before, test } from "node:test";
import { KestoServer, launchBrowser, openPage, tab, tempDir, waitForTop } from "./kesto.mjs";

let server;
let browser;
before(async () => {
  server = await new KestoServer().start();
  browser = await launchBrowser();
});
after(async () => {
  await browser?.close();
  await server?.stop();
});

test("the help page shows in the phone with its image", async () => {
  const page = await openPage(browser, server);
  await tab(page, 3).click();
  await waitForTop(page, "HelpViewController");
  const help = page.frameLocator('#phone [data-outlet="webView"]');
  const image = help.locator("img").first();
  await image.waitFor();
  await page.waitForFunction(() => {
    const frame = document.querySelector('#phone [data-outlet="webView"]');
    const img = frame?.contentDocument?.querySelector("img");
    return img?.complete && img.naturalWidth > 0;
  });
  assert.equal(await help.locator("script").count(), 0);
  assert.deepEqual(page.errors, []);
});

test("the page comes back by itself after the server restarts", async () => {
  const page = await openPage(browser, server);
  await tab(page, 2).click();
  await waitForTop(page, "HistoryViewController");
  await server.stop();
  await page.locator('body[data-connection="lost"]').waitFor();
  await server.start();
  await page.locator('body[data-connection="open"]').waitFor({ timeout: 15000 });
  // A new application: back on its first tab, and it takes taps again.
  await waitForTop(page, "AlertViewController");
  await tab(page, 3).click();
  await waitForTop(page, "HelpViewController");
});

test("with an access token the page is served only to who has it", async () => {
  const dir = await tempDir();
  const tokenFile = path.join(dir, "token");
  await fs.writeFile(tokenFile, "correct-horse-battery-staple\n");
  const guarded = await new KestoServer({ extra: ["--token-file", tokenFile] }).start();
  try {
    const without = await fetch(guarded.origin);
    assert.equal(without.status, 401);
    assert.doesNotMatch(await without.text(), /app\.js/);

    const page = await openPage(browser, guarded, { path: "/?token=correct-horse-battery-staple" });
    // The token leaves the address bar; the cookie carries it from now on.
    assert.equal(new URL(page.url()).search, "");
    const [cookie] = await page.context().cookies();
    assert.equal(cookie.httpOnly, true);
    assert.equal(cookie.sameSite, "Strict");
    await tab(page, 3).click();
    await waitForTop(page, "HelpViewController");
    await page.close();
  } finally {
    await guarded.stop();
  }
});
