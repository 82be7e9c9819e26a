// The page around the screens: the help page and its image, reconnection
// after a restart, and the requests the server must refuse.

import assert from "node:assert/strict";
import fs from "node:fs/promises";
import http from "node:http";
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

// A raw request, so that Host and Origin say what a foreign page would.
function request(port, { method = "GET", path: at = "/", headers = {}, body } = {}) {
  return new Promise((resolve, reject) => {
    const req = http.request({ host: "127.0.0.1", port, method, path: at, headers }, (res) => {
      let text = "";
      res.on("data", (chunk) => { text += chunk; });
      res.on("end", () => resolve({ status: res.statusCode, headers: res.headers, text }));
    });
    req.on("error", reject);
    req.end(body);
  });
}

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

test("requests from another site are refused and change nothing", async () => {
  const page = await openPage(browser, server);
  await tab(page, 2).click();
  await waitForTop(page, "HistoryViewController");
  const tapHelp = JSON.stringify({ action: "tapTab", index: 3 });
  const cases = [
    { name: "foreign Origin", method: "POST", path: "/action", body: tapHelp,
      headers: { Origin: "http://attacker.example", "Content-Type": "application/json" } },
    { name: "rebound Host", method: "POST", path: "/action", body: tapHelp,
      headers: { Host: `attacker.example:${server.port}`, "Content-Type": "application/json" } },
    { name: "rebound Host reading the state", path: "/events",
      headers: { Host: `attacker.example:${server.port}` } },
  ];
  for (const c of cases) {
    const answer = await request(server.port, c);
    assert.equal(answer.status, 403, c.name);
  }
  await page.waitForTimeout(300);
  await waitForTop(page, "HistoryViewController", 100);
});

test("with an access token the page is served only to who has it", async () => {
  const dir = await tempDir();
  const tokenFile = path.join(dir, "token");
  await fs.writeFile(tokenFile, "correct-horse-battery-staple\n", { mode: 0o600 });
  const guarded = await new KestoServer({ extra: ["--token-file", tokenFile] }).start();
  try {
    const without = await request(guarded.port);
    assert.ok(without.status === 401 || without.status === 403, `status ${without.status}`);
    assert.doesNotMatch(without.text, /app\.js/);
    assert.equal((await request(guarded.port, { path: "/events" })).status >= 400, true);

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
