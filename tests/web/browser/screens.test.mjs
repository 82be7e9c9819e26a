// Every screen state in English and in French, as a person meets them on a
// phone (390 × 844, touch) and on a desktop (1280 × 800): axe-core finds
// nothing to report, every text fits its box, the phone's controls are big
// enough to tap, and the page around the phone speaks the application's
// language, with its decimal separator.

import assert from "node:assert/strict";
import { after, before, test } from "node:test";
import {
  KestoServer, alertButton, control, launchBrowser, problemsAtBothSizes, sim, tab,
  waitForAlert, waitForTop,
} from "./kesto.mjs";

const languages = { en: "en_US.UTF-8", fr: "fr_FR.UTF-8" };
const servers = {};
let browser;
before(async () => {
  await Promise.all(Object.entries(languages).map(async ([language, locale]) => {
    servers[language] = await new KestoServer({
      sensor: "sim:rate=0,seed=5,size=64x48", env: { LANG: locale, LANGUAGE: "" },
    }).start();
  }));
  browser = await launchBrowser();
});
after(async () => {
  await browser?.close();
  await Promise.all(Object.values(servers).map((s) => s.stop()));
});

async function setRate(page, rate) {
  await sim(page, "rate").fill(String(rate));
  await sim(page, "rate").press("Enter");
  await page.waitForFunction((r) => window.kestoState?.sensor?.rate === r, rate);
}

// Walks the screens; `check(state)` after each one.
async function walk(page, check) {
  await waitForTop(page, "AlertViewController");
  await check("Alert, idle");
  await setRate(page, 20000);
  await control(page, "btnCommand").click();
  await page.waitForFunction(() => (window.kestoState?.counter?.events ?? 0) >= 3);
  await page.waitForFunction(() => /</.test(document.querySelector('[data-outlet="lblResult"]').textContent) === false
    && document.querySelector('[data-outlet="lblResult"]').textContent !== "");
  await check("Alert, checking");
  await tab(page, 2).click();
  await waitForAlert(page);
  await check("Alert, leave question");
  await alertButton(page, 1).click();
  await sim(page, "lens").click();
  await waitForTop(page, "ReglageViewController");
  await check("Calibration, light");
  await sim(page, "lens").click();
  await page.locator('#phone .top [data-outlet="okBtn"]:not([disabled])').waitFor();
  await check("Calibration, dark");
  await control(page, "okBtn").click();
  await waitForTop(page, "AlertViewController");
  await control(page, "btnCommand").click();
  await waitForTop(page, "DetectionFinishViewController", 45000);
  await check("Verdict, particles");

  await tab(page, 1).click();
  await waitForTop(page, "MeasureViewController");
  await control(page, "btnSave").click();
  await waitForAlert(page);
  await check("Measure, nothing to save");
  await alertButton(page, 0).click();
  await control(page, "btnStart").click();
  await page.waitForFunction(() => (window.kestoState?.counter?.events ?? 0) >= 12);
  await check("Measure, measuring");
  await control(page, "btnSave").click();
  await waitForAlert(page);
  await check("Measure, stop and save question");
  await alertButton(page, 0).click();
  await waitForTop(page, "RegisterRadioactivityViewController");
  await control(page, "txtTag").click();
  await control(page, "txtTag").pressSequentially("Cellar");
  await page.locator('#phone .top [data-outlet="btnSave"]:not([disabled])').waitFor();
  await check("Tag entry");
  await control(page, "btnSave").click();
  await waitForTop(page, "HistoryViewController");
  await page.locator("#history-panel li").first().waitFor();
  await check("History");
  await tab(page, 3).click();
  await waitForTop(page, "HelpViewController");
  await check("Help");
}

test("every screen state passes axe, fits its boxes and speaks its language, in English and French", async () => {
  const found = [];
  await Promise.all(Object.keys(languages).map(async (language) => {
    const context = await browser.newContext({ viewport: { width: 390, height: 844 }, hasTouch: true, isMobile: true });
    const page = await context.newPage();
    page.errors = [];
    page.on("pageerror", (error) => page.errors.push(error.message));
    await page.goto(servers[language].origin);
    await page.locator('[data-tab="0"]').waitFor();
    await page.waitForFunction((l) => document.documentElement.lang === l, language);
    await walk(page, async (state) => {
      found.push(...await problemsAtBothSizes(page, `${language} ${state}`));
      if (language === "fr") {
        // The page's own words are French too, and no number keeps a point.
        const text = await page.evaluate(() => document.body.innerText);
        for (const english of ["Counter", "Connected", "Events", "Simulated sensor"]) {
          if (text.includes(english)) found.push(`fr ${state}: "${english}" in English`);
        }
        for (const point of text.match(/\d\.\d+/g) ?? []) found.push(`fr ${state}: ${point} has a point`);
      }
    });
    found.push(...page.errors.map((e) => `${language}: page error ${e}`));
    await context.close();
  }));
  assert.deepEqual(found, []);
});
