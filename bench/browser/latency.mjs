// Measures, in the browser, the time from a tap to the changed screen drawn
// (200 tab taps between History and Help, median and 99th percentile), then
// the server's CPU over 20 s of a running measurement with this one page
// attached. Build the kesto target first:
//   node bench/browser/latency.mjs

import fs from "node:fs/promises";
import { KestoServer, control, launchBrowser, openPage, tab, waitForTop } from "../../tests/web/browser/kesto.mjs";

const server = await new KestoServer({ sensor: "sim:rate=0.5,seed=5" }).start();
const browser = await launchBrowser();
try {
  const page = await openPage(browser, server);
  const times = [];
  for (let i = 0; i < 200; i++) {
    const target = i % 2 === 0 ? 3 : 2;
    const screen = target === 3 ? "HelpViewController" : "HistoryViewController";
    // Clicked inside the page: the time runs from the click to the first
    // frame painted after the phone shows the new screen.
    times.push(await page.evaluate(([index, name]) => new Promise((resolve) => {
      const phone = document.getElementById("phone");
      const start = performance.now();
      const observer = new MutationObserver(() => {
        if (phone.dataset.screen !== name) return;
        observer.disconnect();
        requestAnimationFrame(() => resolve(performance.now() - start));
      });
      observer.observe(phone, { attributes: true, attributeFilter: ["data-screen"] });
      document.querySelector(`[data-tab="${index}"]`).click();
    }), [target, screen]));
  }
  times.sort((a, b) => a - b);
  const at = (q) => times[Math.min(times.length - 1, Math.floor(q * times.length))];
  console.log(`tap to screen drawn: median ${at(0.5).toFixed(1)} ms, 99th percentile ${at(0.99).toFixed(1)} ms`);

  await tab(page, 1).click();
  await waitForTop(page, "MeasureViewController");
  await control(page, "btnStart").click();
  await page.waitForTimeout(2000);
  const ticks = async () => {
    const fields = (await fs.readFile(`/proc/${server.process.pid}/stat`, "utf8")).split(") ")[1].split(" ");
    return Number(fields[11]) + Number(fields[12]); // utime + stime, after the name
  };
  const before = await ticks();
  await page.waitForTimeout(20000);
  const used = (await ticks()) - before;
  // Clock ticks are 1/100 s on Linux.
  console.log(`server CPU while measuring: ${((used / 100 / 20) * 100).toFixed(1)} % of one core`);
} finally {
  await browser.close();
  await server.stop();
}
