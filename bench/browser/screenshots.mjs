// Takes the screenshots of the four tabs in docs/screenshots/ from a running
// `kesto serve` on the simulated sensor (build the kesto target first):
//   node bench/browser/screenshots.mjs

import path from "node:path";
import {
  KestoServer, control, launchBrowser, measureUntil, openPage, repoRoot, saveMeasurement, sim,
  tab, waitForTop,
} from "../../tests/web/browser/kesto.mjs";

const out = (name) => path.join(repoRoot, "docs/screenshots", `${name}.png`);
const server = await new KestoServer({ sensor: "sim:rate=40,seed=11" }).start();
const browser = await launchBrowser();
try {
  const page = await openPage(browser, server, { viewport: { width: 900, height: 620 } });
  const pause = (ms) => page.waitForTimeout(ms);

  // A saved measurement for the History tab.
  await sim(page, "rate").fill("3000");
  await sim(page, "rate").press("Enter");
  await measureUntil(page, 5);
  await saveMeasurement(page, "Garden shed");
  await pause(300);
  await page.screenshot({ path: out("history") });

  await sim(page, "rate").fill("40");
  await sim(page, "rate").press("Enter");
  await measureUntil(page, 1, 60000);
  await pause(12000);
  await page.screenshot({ path: out("measure") });
  await control(page, "btnStart").click();
  await page.locator('[data-alert-button="0"]').click();

  await tab(page, 0).click();
  await waitForTop(page, "AlertViewController");
  await control(page, "btnCommand").click();
  await pause(12000);
  await page.screenshot({ path: out("alert") });
  await control(page, "btnCommand").click();

  await tab(page, 3).click();
  await waitForTop(page, "HelpViewController");
  await pause(500);
  await page.screenshot({ path: out("help") });
} finally {
  await browser.close();
  await server.stop();
}
