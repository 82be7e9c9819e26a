// Two browsers on one application, a desktop and a phone: each sees the
// other is there, a question is answered once and the other browser sees
// who answered it, and the tag field takes keys from one browser at a time.

import assert from "node:assert/strict";
import { after, before, test } from "node:test";
import {
  KestoServer, alertButton, control, launchBrowser, measureUntil, openPage, problemsAtBothSizes, tab,
  waitForAlert, waitForTop,
} from "./kesto.mjs";

let server;
let browser;
before(async () => {
  server = await new KestoServer({ sensor: "sim:rate=20000,seed=5,size=64x48" }).start();
  browser = await launchBrowser();
});
after(async () => {
  await browser?.close();
  await server?.stop();
});

const fieldValue = (page) => page.evaluate(
  () => document.querySelector('#phone .top [data-outlet="txtTag"]')?.value);

test("two browsers: the question answered once, the tag typed from one at a time", async () => {
  const desk = await openPage(browser, server, { viewport: { width: 1280, height: 800 } });
  const phone = await openPage(browser, server, { viewport: { width: 390, height: 844 } });
  for (const page of [desk, phone]) {
    await page.locator("#others", { hasText: "Also open in 1 other browser(s)" }).waitFor();
  }

  await measureUntil(desk, 3);
  await control(desk, "btnSave").click();
  await waitForAlert(phone);
  // The phone's "No" is on its way while the desktop's "Yes" arrives first.
  await phone.evaluate(() => {
    window.heldNo = document.querySelector('[data-alert-button="1"]');
  });
  await alertButton(desk, 0).click();
  await waitForTop(desk, "RegisterRadioactivityViewController");
  await waitForAlert(phone, false);
  await phone.locator("#notice", { hasText: "Answered “Yes” in another browser" }).waitFor();
  assert.deepEqual(await problemsAtBothSizes(phone, "answered in another browser"), []);
  await phone.evaluate(() => window.heldNo.click());
  await phone.locator("#refusal", { hasText: "that question was already answered" }).waitFor();
  await waitForTop(phone, "RegisterRadioactivityViewController");
  assert.equal(await desk.locator("#notice").isHidden(), true, "who answered is not told it was elsewhere");

  // The desktop takes the field and types; the phone is told, and its keys
  // go nowhere until its person taps the field.
  const deskField = control(desk, "txtTag");
  const phoneField = control(phone, "txtTag");
  await deskField.click();
  await deskField.pressSequentially("Desk");
  await phone.waitForFunction(
    () => document.querySelector('#phone .top [data-outlet="txtTag"]')?.value === "Desk");
  await phone.locator("#notice", { hasText: "Being typed in another browser" }).waitFor();
  // Keys already on their way from a third page are refused by the server.
  const late = await phone.evaluate(async () => (await fetch("/action", {
    method: "POST",
    headers: { "Content-Type": "application/json", "X-Kesto-Page": "a-third-page" },
    body: JSON.stringify({ action: "type", outlet: "txtTag", text: "zz" }),
  })).json());
  assert.equal(late.ok, false);
  assert.match(late.error, /being typed in another browser/);
  await phoneField.click();
  await desk.locator("#notice", { hasText: "Being typed in another browser" }).waitFor();
  // Both type at once now: only the phone's keys count.
  await Promise.all([deskField.pressSequentially("xyz"), phoneField.pressSequentially("Phone")]);
  await desk.waitForFunction(
    () => document.querySelector('#phone .top [data-outlet="txtTag"]')?.value === "DeskPhone");
  assert.equal(await fieldValue(phone), "DeskPhone");
  await phoneField.press("Enter");
  await waitForTop(desk, "HistoryViewController");
  const row = desk.locator('#phone .top [data-outlet="tblHistory"] .table-row[data-row="0"]');
  assert.equal((await row.locator('[data-outlet="lblTag"]').textContent()).trim(), "DeskPhone");

  await phone.close();
  await desk.locator("#others").waitFor({ state: "hidden" });
  assert.deepEqual([...desk.errors], []);
});

test("in French, the other browser and its answer are said in French", async () => {
  const french = await new KestoServer({ env: { LANG: "fr_FR.UTF-8" } }).start();
  try {
    const one = await openPage(browser, french);
    const two = await openPage(browser, french, { viewport: { width: 390, height: 844 } });
    await one.locator("#others", { hasText: "Aussi ouvert dans 1 autre(s) navigateur(s)" }).waitFor();
    await measureUntil(one, 0);
    await tab(one, 3).click();
    await waitForAlert(two);
    await alertButton(one, 0).click();
    await two.locator("#notice", { hasText: "Réponse « Oui » donnée dans un autre navigateur" }).waitFor();
    await waitForTop(two, "HelpViewController");
  } finally {
    await french.stop();
  }
});
