// Takes the screenshots of the four tabs in docs/screenshots/ from a running
// `kesto serve` on the simulated sensor, as a phone shows them (390 × 844,
// touch), with the figures of a mildly radioactive place: 40 μSv/h, an
// event every five seconds or so (build the kesto target first; some two
// minutes):
//   node bench/browser/screenshots.mjs

import path from "node:path";
import {
  KestoServer, control, launchBrowser, measureUntil, repoRoot, saveMeasurement,
  tab, waitForTop,
} from "../../tests/web/browser/kesto.mjs";

const out = (name) => path.join(repoRoot, "docs/screenshots", `${name}.png`);
const server = await new KestoServer({ sensor: "sim:rate=40,seed=11,size=160x120" }).start();
const browser = await launchBrowser();
try {
  const context = await browser.newContext({
    viewport: { width: 390, height: 844 }, hasTouch: true, isMobile: true, deviceScaleFactor: 2,
  });
  const page = await context.newPage();
  await page.goto(server.origin);
  await page.locator('[data-tab="0"]').waitFor();
  const shoot = async (name) => {
    await page.evaluate(() => window.scrollTo(0, 0));
    await page.screenshot({ path: out(name) });
  };

  // A check on the Alert tab, halfway through.
  await waitForTop(page, "AlertViewController");
  await control(page, "btnCommand").click();
  await page.waitForFunction(() => /^1\d s$/.test(
    document.querySelector('[data-outlet="lblTimer"]')?.textContent ?? ""), null, { timeout: 20000 });
  await shoot("alert");
  await control(page, "btnCommand").click();

  // A measurement of a minute and a half, saved for the History tab.
  await measureUntil(page, 1, 60000);
  await page.waitForFunction(() => (window.kestoState?.counter?.elapsed ?? 0) >= 90, null,
    { timeout: 120000 });
  await shoot("measure");
  await saveMeasurement(page, "Garden shed");
  await page.locator("#history-panel li").first().waitFor();
  await shoot("history");

  await tab(page, 3).click();
  await waitForTop(page, "HelpViewController");
  await page.waitForFunction(() => document.querySelector('#phone [data-outlet="webView"]')
    ?.contentDocument?.querySelector("img")?.complete);
  await shoot("help");
} finally {
  await browser.close();
  await server.stop();
}
