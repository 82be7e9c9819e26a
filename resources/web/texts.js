// The page's own texts in the application's language. The server sends
// them with the state ("page": the language, its decimal separator and the
// Web_ texts of the string tables); until then the page shows the English
// it was written with.

const page = { language: "en", texts: {} };
// What the page may have to say before the server has said anything.
const beforeTheServer = {
  Web_Connecting: "Connecting…",
  Web_Connected: "Connected",
  Web_ConnectionLost: "Connection lost: reconnecting…",
};

export function setPage(next) {
  if (!next || JSON.stringify(next) === JSON.stringify(page)) return false;
  Object.assign(page, next);
  document.documentElement.lang = page.language || "en";
  applyTexts(document);
  return true;
}

// The text of `key`, with #0, #1... replaced by the arguments.
export function text(key, ...args) {
  let shown = page.texts[key] ?? beforeTheServer[key] ?? key;
  args.forEach((arg, i) => { shown = shown.replaceAll(`#${i}`, String(arg)); });
  return shown;
}

// Elements name their texts: data-text (content), data-text-title,
// data-text-label (aria-label).
export function applyTexts(root) {
  const known = (key) => key in page.texts;
  for (const element of root.querySelectorAll("[data-text]")) {
    if (known(element.dataset.text)) element.textContent = text(element.dataset.text);
  }
  for (const element of root.querySelectorAll("[data-text-title]")) {
    if (known(element.dataset.textTitle)) element.title = text(element.dataset.textTitle);
  }
  for (const element of root.querySelectorAll("[data-text-label]")) {
    if (known(element.dataset.textLabel)) element.setAttribute("aria-label", text(element.dataset.textLabel));
  }
  if (known("Web_Title")) document.title = text("Web_Title");
}

// A number as the language writes it, with `digits` decimals.
export function number(value, digits = 2) {
  return new Intl.NumberFormat(page.language, {
    minimumFractionDigits: digits, maximumFractionDigits: digits, useGrouping: false,
  }).format(value);
}

// A dose rate in μSv/h with its unit, in mSv/h from 1000 μSv/h on, as the
// screens show it.
export function doseRate(microSievertsPerHour) {
  const milli = microSievertsPerHour >= 1000;
  return `${number(milli ? microSievertsPerHour / 1000 : microSievertsPerHour)} ${milli ? "mSv/h" : "\u03bcSv/h"}`;
}

// A date and time (ISO 8601) as the language writes it, in this browser's
// time zone; the text itself when it is no date.
export function dateTime(iso) {
  const date = new Date(iso ?? "");
  if (Number.isNaN(date.getTime())) return iso ?? "";
  return new Intl.DateTimeFormat(page.language, { dateStyle: "medium", timeStyle: "short" }).format(date);
}

// Says `message` through the page's polite live region.
export function announce(message) {
  const region = document.getElementById("announcer");
  if (!region) return;
  // The same text twice is read twice only if it changes in between.
  region.textContent = "";
  requestAnimationFrame(() => { region.textContent = message; });
}
