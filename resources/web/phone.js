// Draws the application's phone screen from the server's snapshot and turns
// clicks and keys on it into the person's actions.
//
// The snapshot lists every control with its frame in window points (the
// window is 320 × 480); one point is one CSS pixel here. Elements are kept
// between snapshots (by outlet or action name) so that a focused text field
// keeps its focus and the help page does not reload on every change.

const WINDOW_WIDTH = 320;
const WINDOW_HEIGHT = 480;

// CSS colour from the toolkit's [r, g, b, a] in 0..1.
function cssColor(rgba, fallback = "") {
  if (!Array.isArray(rgba) || rgba.length < 3) return fallback;
  const [r, g, b, a = 1] = rgba;
  const byte = (v) => Math.round(Math.min(1, Math.max(0, v)) * 255);
  return `rgba(${byte(r)}, ${byte(g)}, ${byte(b)}, ${a})`;
}

function placeAt(element, frame, origin = [0, 0]) {
  const [x, y, w, h] = frame;
  element.style.left = `${x - origin[0]}px`;
  element.style.top = `${y - origin[1]}px`;
  element.style.width = `${w}px`;
  element.style.height = `${h}px`;
}

// The name a tap uses: the outlet, else the button's action.
function controlName(control) {
  return control.outlet || control.action || "";
}

// Replays a custom view's display list (the pie) on its canvas. Coordinates
// are the view's own points; the canvas is scaled for the screen's density.
function replayDisplayList(canvas, control) {
  const [, , w, h] = control.frame;
  const ratio = window.devicePixelRatio || 1;
  const width = Math.max(1, Math.round(w * ratio));
  const height = Math.max(1, Math.round(h * ratio));
  if (canvas.width !== width) canvas.width = width;
  if (canvas.height !== height) canvas.height = height;
  const ctx = canvas.getContext("2d");
  ctx.setTransform(ratio, 0, 0, ratio, 0, 0);
  ctx.clearRect(0, 0, w, h);
  for (const { op, values: v = [] } of control.displayList || []) {
    switch (op) {
      case "clearRect":
        ctx.clearRect(v[0], v[1], v[2], v[3]);
        break;
      case "beginPath":
        ctx.beginPath();
        break;
      case "addArc":
        // The toolkit's clockwise 1 runs towards decreasing angles: the
        // canvas calls that anticlockwise (its y axis points down too).
        ctx.arc(v[0], v[1], v[2], v[3], v[4], v[5] === 1);
        break;
      case "moveToPoint":
        ctx.moveTo(v[0], v[1]);
        break;
      case "addLineToPoint":
        ctx.lineTo(v[0], v[1]);
        break;
      case "closePath":
        ctx.closePath();
        break;
      case "setFillColor":
        ctx.fillStyle = cssColor(v, "black");
        break;
      case "fillPath":
        ctx.fill("nonzero");
        break;
      default:
        // An operation this page does not know yet: skip it rather than
        // leave the rest of the drawing out.
        break;
    }
  }
}

// The help page in a sandboxed frame: no scripts, its relative links and
// images resolved against the help folder the server publishes.
function helpDocument(html, baseURL) {
  let file = "";
  try {
    file = new URL(baseURL).pathname.split("/").pop() || "";
  } catch {
    file = "";
  }
  const base = `<base href="${new URL(`/help/${file}`, location.href).href}">`;
  if (/<head[^>]*>/i.test(html)) return html.replace(/<head[^>]*>/i, (head) => head + base);
  return base + html;
}

// One layer of controls (the tab's screen or the modal screen).
class ControlLayer {
  constructor(container, actions) {
    this.container = container;
    this.actions = actions;
    this.elements = new Map(); // key → element
  }

  update(controls) {
    const seen = new Set();
    const counts = new Map();
    let previous = null;
    controls.forEach((control) => {
      // Controls without a name are told apart by kind and order.
      const base = `${control.kind}:${controlName(control) || control.class || ""}`;
      const n = counts.get(base) || 0;
      counts.set(base, n + 1);
      const key = `${base}#${n}`;
      seen.add(key);
      let element = this.elements.get(key);
      if (!element) {
        element = this.create(control);
        this.elements.set(key, element);
      }
      // Drawing order is the snapshot's order. Elements move only when it
      // changed: moving one would take the focus from a text field.
      const expected = previous ? previous.nextSibling : this.container.firstChild;
      if (element !== expected) this.container.insertBefore(element, expected);
      previous = element;
      this.refresh(element, control);
    });
    for (const [key, element] of this.elements) {
      if (!seen.has(key)) {
        element.remove();
        this.elements.delete(key);
      }
    }
  }

  clear() {
    this.update([]);
  }

  create(control) {
    let element;
    if (control.displayList) {
      element = document.createElement("canvas");
      element.className = "control custom";
      return this.mark(element, control);
    }
    switch (control.kind) {
      case "label":
        element = document.createElement("div");
        element.className = "control label";
        element.append(document.createElement("span"));
        break;
      case "button":
        element = createButton(control, this.actions);
        break;
      case "imageView":
        element = document.createElement("img");
        element.className = "control image-view";
        element.alt = "";
        break;
      case "textField":
        element = createTextField(control, this.actions);
        break;
      case "webView":
        element = document.createElement("iframe");
        element.className = "control web-view";
        // No scripts, forms or navigation of the page; same origin only so
        // that the access cookie reaches the help image when a token guards
        // the server.
        element.setAttribute("sandbox", "allow-same-origin");
        element.title = "Help";
        break;
      case "tableView":
        element = createTableView(control, this.actions);
        break;
      default:
        element = document.createElement("div");
        element.className = `control ${control.kind === "view" ? "plain-view" : control.kind}`;
        break;
    }
    return this.mark(element, control);
  }

  mark(element, control) {
    if (control.outlet) element.dataset.outlet = control.outlet;
    else if (control.action) element.dataset.action = control.action;
    element.dataset.kind = control.kind;
    return element;
  }

  refresh(element, control) {
    placeAt(element, control.frame);
    element.hidden = Boolean(control.hidden);
    element.style.backgroundColor = cssColor(control.backgroundColor);
    if (element.tagName === "CANVAS") {
      replayDisplayList(element, control);
      return;
    }
    switch (control.kind) {
      case "label":
        refreshLabel(element, control);
        break;
      case "button":
        refreshButton(element, control);
        break;
      case "imageView":
        setImage(element, control.image, Boolean(control.hidden));
        break;
      case "textField":
        refreshTextField(element, control);
        break;
      case "webView": {
        const doc = control.html ? helpDocument(control.html, control.baseURL || "") : "";
        if (element.dataset.html !== doc) {
          element.dataset.html = doc;
          element.srcdoc = doc;
        }
        break;
      }
      case "tableView":
        refreshTableView(element, control, this.actions);
        break;
      default:
        break;
    }
  }
}

function setImage(img, name, hidden = false) {
  const src = name ? `/images/${encodeURIComponent(name)}` : "";
  if (img.getAttribute("src") !== src) {
    if (src) img.setAttribute("src", src);
    else img.removeAttribute("src");
  }
  img.hidden = hidden || !src;
}

const LABEL_FONT = 17; // points, the phone's label font
const SMALLEST_FONT = 11;

function refreshLabel(element, control) {
  const span = element.firstChild;
  const text = control.text ?? "";
  const lines = control.numberOfLines ?? 1;
  element.style.color = cssColor(control.textColor, "black");
  // Fitting measures the layout: only when the text or the frame changed.
  const fitted = JSON.stringify([text, lines, control.frame, Boolean(control.hidden)]);
  if (element.dataset.fitted === fitted) return;
  element.dataset.fitted = fitted;
  span.textContent = text;
  element.dataset.lines = lines === 1 ? "one" : lines === 0 ? "any" : "some";
  element.style.fontSize = "";
  span.style.webkitLineClamp = "";
  if (lines === 1) return;
  // Text that does not fit the label's height is shrunk a little, so that
  // a long message stays whole; below the smallest size it is cut off.
  const height = control.frame[3];
  let size = LABEL_FONT;
  while (size > SMALLEST_FONT && span.scrollHeight > height + 1) {
    size -= 1;
    element.style.fontSize = `${size}px`;
  }
  const fit = Math.max(1, Math.floor(height / (size * 1.2)));
  span.style.webkitLineClamp = String(lines > 1 ? Math.min(lines, fit) : fit);
}

function createButton(control, actions) {
  const button = document.createElement("button");
  button.type = "button";
  button.className = "control button";
  const img = document.createElement("img");
  img.alt = "";
  const title = document.createElement("span");
  button.append(img, title);
  button.addEventListener("click", () => {
    actions.send("tap", button.dataset.outlet || button.dataset.action);
  });
  return button;
}

function refreshButton(button, control) {
  const [img, title] = button.children;
  const text = control.title ?? "";
  if (title.textContent !== text) title.textContent = text;
  title.hidden = !text;
  setImage(img, control.image);
  // A button with neither title nor image is a clear area over what it covers.
  button.classList.toggle("has-image", Boolean(control.image));
  button.classList.toggle("has-title", Boolean(text));
  button.style.color = cssColor(control.titleColor, "");
  button.disabled = control.enabled === false;
  button.setAttribute("aria-label", text || control.image || controlName(control));
}

// A text field whose text belongs to the application: each key goes to the
// server and the field shows what the screen accepted.
function createTextField(control, actions) {
  const input = document.createElement("input");
  input.type = "text";
  input.className = "control text-field";
  input.autocomplete = "off";
  input.spellcheck = false;
  const outlet = () => input.dataset.outlet;
  input.addEventListener("focus", () => {
    if (input.dataset.editing !== "true") actions.send("beginEditing", outlet());
  });
  input.addEventListener("beforeinput", (event) => {
    if (event.isComposing) return; // an input method finishes in compositionend
    event.preventDefault();
    if (event.inputType === "deleteContentBackward") {
      actions.send("deleteBackward", outlet());
    } else if (event.inputType.startsWith("insert") && event.data) {
      actions.send("type", outlet(), event.data);
    } else if (event.inputType === "insertFromPaste" || event.inputType === "insertFromDrop") {
      const text = event.dataTransfer?.getData("text/plain");
      if (text) actions.send("type", outlet(), text);
    }
  });
  input.addEventListener("compositionend", (event) => {
    if (event.data) actions.send("type", outlet(), event.data);
    input.value = input.dataset.text || "";
  });
  input.addEventListener("keydown", (event) => {
    if (event.key === "Enter") {
      event.preventDefault();
      actions.send("return", outlet());
    }
  });
  return input;
}

function refreshTextField(input, control) {
  const text = control.text ?? "";
  input.dataset.text = text;
  if (input.value !== text) {
    input.value = text;
    // Keys land at the end in the application: keep the caret there.
    if (document.activeElement === input) input.setSelectionRange(text.length, text.length);
  }
  input.placeholder = control.placeholder ?? "";
  // The application refuses longer texts with a message; the field says so first.
  if (control.maxLength) input.maxLength = control.maxLength;
  else input.removeAttribute("maxlength");
  const wasEditing = input.dataset.editing === "true";
  input.dataset.editing = control.editing ? "true" : "false";
  // The screen asked for the keyboard: give the field the focus.
  if (control.editing && !wasEditing && document.activeElement !== input) input.focus();
}

function createTableView(control, actions) {
  const table = document.createElement("div");
  table.className = "control table-view";
  const scrollBy = (delta) => {
    const state = JSON.parse(table.dataset.state || "{}");
    const max = Math.max(0, (state.contentHeight || 0) - (state.height || 0));
    const offset = Math.min(max, Math.max(0, (state.contentOffset || 0) + delta));
    if (offset !== state.contentOffset) {
      actions.send("scroll", table.dataset.outlet, offset);
    }
  };
  table.addEventListener("wheel", (event) => {
    event.preventDefault();
    scrollBy(event.deltaY);
  }, { passive: false });
  // A finger or mouse drag scrolls the way a phone does.
  let dragY = null;
  table.addEventListener("pointerdown", (event) => {
    if (event.pointerType !== "mouse") dragY = event.clientY;
  });
  table.addEventListener("pointermove", (event) => {
    if (dragY === null) return;
    const delta = dragY - event.clientY;
    if (Math.abs(delta) >= 8) {
      scrollBy(delta);
      dragY = event.clientY;
    }
  });
  const endDrag = () => { dragY = null; };
  table.addEventListener("pointerup", endDrag);
  table.addEventListener("pointercancel", endDrag);
  return table;
}

function refreshTableView(table, control, actions) {
  const [tx, ty, , th] = control.frame;
  table.dataset.state = JSON.stringify({
    contentOffset: control.contentOffset || 0,
    contentHeight: control.contentHeight || 0,
    height: th,
  });
  // Rows are redrawn whole: a history row has nothing to keep.
  const rows = (control.rows || []).map((row) => {
    const element = document.createElement("div");
    element.className = "table-row";
    element.dataset.section = row.section;
    element.dataset.row = row.row;
    placeAt(element, row.frame, [tx, ty]);
    element.style.backgroundColor = cssColor(row.backgroundColor);
    const layer = new ControlLayer(element, actions);
    // Row controls come in window points: make them relative to the row.
    const [rx, ry] = row.frame;
    layer.update((row.controls || []).map((c) => ({
      ...c,
      frame: [c.frame[0] - rx, c.frame[1] - ry, c.frame[2], c.frame[3]],
    })));
    return element;
  });
  table.replaceChildren(...rows);
}

// The whole phone: the tab's screen, the tab bar, a modal screen over both,
// an alert over everything.
export class Phone {
  constructor(root, actions) {
    this.root = root;
    this.actions = actions;
    root.style.width = `${WINDOW_WIDTH}px`;
    root.style.height = `${WINDOW_HEIGHT}px`;
    this.screen = this.layer("screen");
    this.tabBar = this.layer("tab-bar");
    this.modal = this.layer("modal");
    this.alert = this.layer("alert");
    this.screenControls = new ControlLayer(this.screen, actions);
    this.modalControls = new ControlLayer(this.modal, actions);
  }

  layer(name) {
    const element = document.createElement("div");
    element.className = name;
    this.root.append(element);
    return element;
  }

  show(app) {
    this.root.dataset.screen = app.screen ?? "";
    this.root.dataset.top = app.top ?? "";
    this.screenControls.update(app.controls || []);
    this.modal.hidden = !app.modal;
    // The layer that takes the taps: the modal screen when one is up.
    this.screen.classList.toggle("top", !app.modal);
    this.modal.classList.toggle("top", Boolean(app.modal));
    this.modal.dataset.screen = app.modal?.screen ?? "";
    this.modalControls.update(app.modal?.controls || []);
    this.showTabBar(app.tabBar);
    this.showAlert(app.alert);
  }

  showTabBar(tabBar) {
    this.tabBar.hidden = !tabBar;
    if (!tabBar) return;
    placeAt(this.tabBar, tabBar.frame);
    const items = tabBar.items || [];
    while (this.tabBar.children.length > items.length) this.tabBar.lastChild.remove();
    while (this.tabBar.children.length < items.length) {
      const index = this.tabBar.children.length;
      const button = document.createElement("button");
      button.type = "button";
      button.className = "tab";
      button.dataset.tab = String(index);
      const img = document.createElement("img");
      img.alt = "";
      const title = document.createElement("span");
      button.append(img, title);
      button.addEventListener("click", () => this.actions.send("tapTab", index));
      this.tabBar.append(button);
    }
    items.forEach((item, index) => {
      const button = this.tabBar.children[index];
      const [img, title] = button.children;
      setImage(img, item.image);
      if (title.textContent !== item.title) title.textContent = item.title ?? "";
      const selected = index === tabBar.selectedIndex;
      button.classList.toggle("selected", selected);
      button.setAttribute("aria-pressed", String(selected));
    });
  }

  showAlert(alert) {
    this.alert.hidden = !alert;
    if (!alert) {
      this.alert.replaceChildren();
      delete this.alert.dataset.shown;
      return;
    }
    // Rebuild only when a different alert comes up, so a click in flight
    // does not land on a replaced button.
    const shown = JSON.stringify(alert);
    if (this.alert.dataset.shown === shown) return;
    this.alert.dataset.shown = shown;
    const box = document.createElement("div");
    box.className = "alert-box";
    box.setAttribute("role", "alertdialog");
    const title = document.createElement("h2");
    title.textContent = alert.title ?? "";
    const message = document.createElement("p");
    message.textContent = alert.message ?? "";
    const buttons = document.createElement("div");
    buttons.className = "alert-buttons";
    (alert.buttons || []).forEach((text, index) => {
      const button = document.createElement("button");
      button.type = "button";
      button.dataset.alertButton = String(index);
      button.textContent = text;
      button.addEventListener("click", () => this.actions.send("answerAlert", index));
      buttons.append(button);
    });
    box.append(title, message, buttons);
    this.alert.replaceChildren(box);
  }
}
