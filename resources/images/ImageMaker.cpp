// Draws every image the application shows (tab icons, buttons, status lights,
// verdict backgrounds, the help page's illustration) and writes them as PNG
// files. Run at build time:
//
//     kesto_image_maker <images folder> <help folder>
//
// One drawing function per image; the table at the end gives each file its
// name, folder and size in pixels. Images carry no words, so that one set
// serves every language.
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <numbers>
#include <string>

#include <cairo.h>

#include "platform/UniqueHandle.h"

namespace {

constexpr double kPi = std::numbers::pi;

struct Rgb {
    double r;
    double g;
    double b;
};

// The application's palette: the blue of the progress pie, a calm teal, the
// status green and red, a warning amber.
constexpr Rgb kBlue{68 / 255.0, 114 / 255.0, 162 / 255.0};
constexpr Rgb kTabInk{104 / 255.0, 116 / 255.0, 132 / 255.0};
constexpr Rgb kGreen{46 / 255.0, 164 / 255.0, 79 / 255.0};
constexpr Rgb kRed{208 / 255.0, 52 / 255.0, 44 / 255.0};
constexpr Rgb kAmber{245 / 255.0, 166 / 255.0, 35 / 255.0};
constexpr Rgb kWhite{1.0, 1.0, 1.0};
constexpr Rgb kInk{0.13, 0.14, 0.16};

void setColor(cairo_t* cr, Rgb c, double alpha = 1.0) {
    cairo_set_source_rgba(cr, c.r, c.g, c.b, alpha);
}

Rgb shade(Rgb c, double factor) {
    return {c.r * factor, c.g * factor, c.b * factor};
}

Rgb tint(Rgb c, double towardsWhite) {
    return {c.r + (1 - c.r) * towardsWhite, c.g + (1 - c.g) * towardsWhite,
            c.b + (1 - c.b) * towardsWhite};
}

void roundedRect(cairo_t* cr, double x, double y, double w, double h, double r) {
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + w - r, y + r, r, -kPi / 2, 0);
    cairo_arc(cr, x + w - r, y + h - r, r, 0, kPi / 2);
    cairo_arc(cr, x + r, y + h - r, r, kPi / 2, kPi);
    cairo_arc(cr, x + r, y + r, r, kPi, 3 * kPi / 2);
    cairo_close_path(cr);
}

// The radiation trefoil: a hub and three 60° blades, one pointing down.
void trefoil(cairo_t* cr, double cx, double cy, double radius) {
    const double hub = radius * 0.2;
    const double inner = radius * 0.3;
    cairo_new_sub_path(cr);
    cairo_arc(cr, cx, cy, hub, 0, 2 * kPi);
    for (int blade = 0; blade < 3; ++blade) {
        const double middle = kPi / 2 + blade * 2 * kPi / 3;
        cairo_new_sub_path(cr);
        cairo_arc(cr, cx, cy, radius, middle - kPi / 6, middle + kPi / 6);
        cairo_arc_negative(cr, cx, cy, inner, middle + kPi / 6, middle - kPi / 6);
        cairo_close_path(cr);
    }
    cairo_fill(cr);
}

void checkMark(cairo_t* cr, double cx, double cy, double size, double width) {
    cairo_move_to(cr, cx - size * 0.5, cy + size * 0.02);
    cairo_line_to(cr, cx - size * 0.14, cy + size * 0.36);
    cairo_line_to(cr, cx + size * 0.52, cy - size * 0.34);
    cairo_set_line_width(cr, width);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_stroke(cr);
}

void sun(cairo_t* cr, double cx, double cy, double size) {
    cairo_arc(cr, cx, cy, size * 0.24, 0, 2 * kPi);
    cairo_fill(cr);
    cairo_set_line_width(cr, size * 0.09);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    for (int ray = 0; ray < 8; ++ray) {
        const double a = ray * kPi / 4;
        cairo_move_to(cr, cx + std::cos(a) * size * 0.36, cy + std::sin(a) * size * 0.36);
        cairo_line_to(cr, cx + std::cos(a) * size * 0.5, cy + std::sin(a) * size * 0.5);
    }
    cairo_stroke(cr);
}

// A glossy round button or lamp filling the canvas, lit from above.
void disc(cairo_t* cr, int w, int h, Rgb color) {
    const double cx = w / 2.0;
    const double cy = h / 2.0;
    const double r = std::min(w, h) / 2.0 - 3;
    cairo_arc(cr, cx, cy + 2, r, 0, 2 * kPi);
    setColor(cr, kInk, 0.25);
    cairo_fill(cr);
    cairo_pattern_t* body = cairo_pattern_create_linear(0, cy - r, 0, cy + r);
    cairo_pattern_add_color_stop_rgb(body, 0, tint(color, 0.25).r, tint(color, 0.25).g,
                                     tint(color, 0.25).b);
    cairo_pattern_add_color_stop_rgb(body, 1, shade(color, 0.78).r, shade(color, 0.78).g,
                                     shade(color, 0.78).b);
    cairo_arc(cr, cx, cy, r, 0, 2 * kPi);
    cairo_set_source(cr, body);
    cairo_fill(cr);
    cairo_pattern_destroy(body);
    cairo_arc(cr, cx, cy, r - 1.5, 0, 2 * kPi);
    setColor(cr, kWhite, 0.35);
    cairo_set_line_width(cr, 3);
    cairo_stroke(cr);
}

// ---- tab icons: one ink on transparency, so a tab bar may tint them ----

void tabAlert(cairo_t* cr, int w, int h) {
    const double cx = w / 2.0;
    const double cy = h / 2.0;
    setColor(cr, kTabInk);
    cairo_arc(cr, cx, cy, w * 0.46, 0, 2 * kPi);
    cairo_set_line_width(cr, w * 0.06);
    cairo_stroke(cr);
    trefoil(cr, cx, cy, w * 0.36);
}

void tabMeasure(cairo_t* cr, int w, int h) {
    const double cx = w / 2.0;
    const double cy = h * 0.64;
    const double r = w * 0.44;
    setColor(cr, kTabInk);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_width(cr, w * 0.07);
    cairo_arc(cr, cx, cy, r, kPi, 2 * kPi);
    cairo_stroke(cr);
    cairo_set_line_width(cr, w * 0.045);
    for (int tick = 0; tick <= 6; ++tick) {
        const double a = kPi + tick * kPi / 6;
        cairo_move_to(cr, cx + std::cos(a) * r * 0.66, cy + std::sin(a) * r * 0.66);
        cairo_line_to(cr, cx + std::cos(a) * r * 0.8, cy + std::sin(a) * r * 0.8);
    }
    cairo_stroke(cr);
    const double needle = kPi + kPi * 0.7;
    cairo_set_line_width(cr, w * 0.07);
    cairo_move_to(cr, cx, cy);
    cairo_line_to(cr, cx + std::cos(needle) * r * 0.72, cy + std::sin(needle) * r * 0.72);
    cairo_stroke(cr);
    cairo_arc(cr, cx, cy, w * 0.09, 0, 2 * kPi);
    cairo_fill(cr);
    roundedRect(cr, w * 0.08, h * 0.8, w * 0.84, h * 0.08, h * 0.04);
    cairo_fill(cr);
}

void tabHistory(cairo_t* cr, int w, int h) {
    setColor(cr, kTabInk);
    for (int row = 0; row < 4; ++row) {
        const double y = h * (0.2 + row * 0.2);
        cairo_arc(cr, w * 0.16, y, w * 0.065, 0, 2 * kPi);
        cairo_fill(cr);
        roundedRect(cr, w * 0.3, y - h * 0.045, w * (row % 2 ? 0.5 : 0.62), h * 0.09, h * 0.045);
        cairo_fill(cr);
    }
}

void tabHelp(cairo_t* cr, int w, int h) {
    const double cx = w / 2.0;
    setColor(cr, kTabInk);
    cairo_arc(cr, cx, h / 2.0, w * 0.46, 0, 2 * kPi);
    cairo_set_line_width(cr, w * 0.06);
    cairo_stroke(cr);
    cairo_arc(cr, cx, h * 0.28, w * 0.075, 0, 2 * kPi);
    cairo_fill(cr);
    roundedRect(cr, cx - w * 0.065, h * 0.41, w * 0.13, h * 0.36, w * 0.04);
    cairo_fill(cr);
}

// ---- measure tab: start/stop button ----

void buttonPlay(cairo_t* cr, int w, int h) {
    disc(cr, w, h, kBlue);
    const double s = w * 0.2;
    cairo_move_to(cr, w / 2.0 - s * 0.7, h / 2.0 - s);
    cairo_line_to(cr, w / 2.0 + s * 1.1, h / 2.0);
    cairo_line_to(cr, w / 2.0 - s * 0.7, h / 2.0 + s);
    cairo_close_path(cr);
    setColor(cr, kWhite);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_set_line_width(cr, w * 0.04);
    cairo_fill_preserve(cr);
    cairo_stroke(cr);
}

void buttonStop(cairo_t* cr, int w, int h) {
    disc(cr, w, h, kRed);
    const double s = w * 0.34;
    roundedRect(cr, (w - s) / 2, (h - s) / 2, s, s, w * 0.04);
    setColor(cr, kWhite);
    cairo_fill(cr);
}

// ---- alert tab: the check button, over the middle of the pie ----

void buttonCheck(cairo_t* cr, int w, int h) {
    disc(cr, w, h, kBlue);
    setColor(cr, kWhite);
    trefoil(cr, w / 2.0, h / 2.0, w * 0.3);
}

// ---- calibration screen: status lamp, masked / not masked ----

void statusMasked(cairo_t* cr, int w, int h) {
    disc(cr, w, h, kGreen);
    setColor(cr, kWhite);
    checkMark(cr, w / 2.0, h / 2.0, w * 0.46, w * 0.09);
}

void statusNotMasked(cairo_t* cr, int w, int h) {
    disc(cr, w, h, kRed);
    setColor(cr, kWhite);
    sun(cr, w / 2.0, h / 2.0, w * 0.56);
}

// ---- verdict backgrounds: an emblem above a pale panel for the message ----

// The emblem's centre, and the top of the panel that holds the screen's
// message and buttons (the verdict screen's layout puts them inside it).
constexpr double kEmblemY = 60;
constexpr double kPanelTop = 118;

void verdictBackground(cairo_t* cr, int w, int h, Rgb top, Rgb bottom) {
    cairo_pattern_t* sky = cairo_pattern_create_linear(0, 0, 0, h);
    cairo_pattern_add_color_stop_rgb(sky, 0, top.r, top.g, top.b);
    cairo_pattern_add_color_stop_rgb(sky, 1, bottom.r, bottom.g, bottom.b);
    cairo_rectangle(cr, 0, 0, w, h);
    cairo_set_source(cr, sky);
    cairo_fill(cr);
    cairo_pattern_destroy(sky);
    // Soft rings behind the emblem.
    for (int ring = 3; ring >= 1; --ring) {
        cairo_arc(cr, w / 2.0, kEmblemY, 30.0 + ring * 10, 0, 2 * kPi);
        setColor(cr, kWhite, 0.07);
        cairo_fill(cr);
    }
    // The message panel, where the screen's text sits.
    roundedRect(cr, 12, kPanelTop, w - 24, h - kPanelTop - 12, 14);
    setColor(cr, kWhite, 0.88);
    cairo_fill(cr);
}

void verdictNone(cairo_t* cr, int w, int h) {
    verdictBackground(cr, w, h, {0.44, 0.78, 0.74}, {0.16, 0.45, 0.58});
    cairo_arc(cr, w / 2.0, kEmblemY, 36, 0, 2 * kPi);
    setColor(cr, kWhite);
    cairo_fill(cr);
    setColor(cr, {0.16, 0.55, 0.52});
    checkMark(cr, w / 2.0, kEmblemY, 40, 8);
}

void verdictDetected(cairo_t* cr, int w, int h) {
    verdictBackground(cr, w, h, {0.99, 0.72, 0.25}, {0.78, 0.22, 0.14});
    // Warning triangle with the trefoil inside.
    const double cx = w / 2.0;
    const double cy = kEmblemY - 8;
    const double r = 46;
    for (int corner = 0; corner < 3; ++corner) {
        const double a = -kPi / 2 + corner * 2 * kPi / 3;
        const double x = cx + std::cos(a) * r;
        const double y = cy + 8 + std::sin(a) * r;
        corner == 0 ? cairo_move_to(cr, x, y) : cairo_line_to(cr, x, y);
    }
    cairo_close_path(cr);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_set_line_width(cr, 10);
    setColor(cr, kInk);
    cairo_stroke_preserve(cr);
    setColor(cr, kAmber);
    cairo_fill(cr);
    setColor(cr, kInk);
    trefoil(cr, cx, cy + 10, 17);
}

// ---- help page: cover the lens with opaque tape ----

void helpCoverLens(cairo_t* cr, int w, int h) {
    roundedRect(cr, 0, 0, w, h, 12);
    setColor(cr, {0.93, 0.95, 0.97});
    cairo_fill(cr);
    // The back of a phone with its camera at the top corner.
    const double px = 30;
    const double py = 14;
    const double pw = 96;
    const double ph = h - 28;
    roundedRect(cr, px, py, pw, ph, 14);
    setColor(cr, {0.42, 0.45, 0.5});
    cairo_fill(cr);
    roundedRect(cr, px + 4, py + 4, pw - 8, ph - 8, 11);
    setColor(cr, {0.56, 0.6, 0.65});
    cairo_fill(cr);
    const double lx = px + 26;
    const double ly = py + 26;
    cairo_arc(cr, lx, ly, 12, 0, 2 * kPi);
    setColor(cr, kInk);
    cairo_fill(cr);
    cairo_arc(cr, lx, ly, 6, 0, 2 * kPi);
    setColor(cr, {0.25, 0.35, 0.55});
    cairo_fill(cr);
    cairo_arc(cr, lx - 2, ly - 2, 2, 0, 2 * kPi);
    setColor(cr, kWhite, 0.8);
    cairo_fill(cr);
    // An arrow to the same phone with a strip of black tape over the lens.
    setColor(cr, kBlue);
    cairo_set_line_width(cr, 6);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_move_to(cr, w / 2.0 - 12, h / 2.0);
    cairo_line_to(cr, w / 2.0 + 8, h / 2.0);
    cairo_stroke(cr);
    cairo_move_to(cr, w / 2.0 + 18, h / 2.0);
    cairo_line_to(cr, w / 2.0 + 4, h / 2.0 - 12);
    cairo_line_to(cr, w / 2.0 + 4, h / 2.0 + 12);
    cairo_close_path(cr);
    cairo_fill(cr);
    const double qx = w - px - pw;
    roundedRect(cr, qx, py, pw, ph, 14);
    setColor(cr, {0.42, 0.45, 0.5});
    cairo_fill(cr);
    roundedRect(cr, qx + 4, py + 4, pw - 8, ph - 8, 11);
    setColor(cr, {0.56, 0.6, 0.65});
    cairo_fill(cr);
    cairo_save(cr);
    roundedRect(cr, qx, py, pw, ph, 14);  // the tape sticks to the phone, not beyond
    cairo_clip(cr);
    cairo_translate(cr, qx + 26, py + 26);
    cairo_rotate(cr, -0.35);
    cairo_rectangle(cr, -30, -15, 60, 30);
    setColor(cr, {0.08, 0.08, 0.09});
    cairo_fill(cr);
    setColor(cr, kWhite, 0.12);
    cairo_rectangle(cr, -30, -15, 60, 4);
    cairo_fill(cr);
    cairo_restore(cr);
    setColor(cr, kGreen);
    checkMark(cr, qx + pw / 2.0 + 6, py + ph * 0.66, 40, 8);
}

// The home-screen icon of the web page: an amber trefoil on the blue of the
// pie, full bleed, its figure inside the middle 80% that a round or
// squircle mask keeps ("maskable").
void appIcon(cairo_t* cr, int w, int h) {
    setColor(cr, shade(kBlue, 0.7));
    cairo_paint(cr);
    const double cx = w / 2.0;
    const double cy = h / 2.0;
    setColor(cr, kAmber);
    cairo_arc(cr, cx, cy, w * 0.3, 0, 2 * kPi);
    cairo_fill(cr);
    setColor(cr, kInk);
    trefoil(cr, cx, cy, w * 0.26);
}

struct ImageSpec {
    const char* folder;  // "images" or "help"
    const char* name;
    int width;
    int height;
    void (*paint)(cairo_t*, int, int);
};

// Sizes in pixels. Tab icons are drawn at twice their 30-point size.
constexpr ImageSpec kImages[] = {
    {"images", "Onglet_A_icon_2.png", 60, 60, tabAlert},
    {"images", "Onglet_B_icon_2.png", 60, 60, tabMeasure},
    {"images", "Onglet_H_icon_2.png", 60, 60, tabHistory},
    {"images", "Onglet_I_icon_2.png", 60, 60, tabHelp},
    {"images", "B_play.png", 120, 120, buttonPlay},
    {"images", "B_stop.png", 120, 120, buttonStop},
    {"images", "btn_start.png", 120, 120, statusMasked},
    {"images", "btn_stop.png", 120, 120, statusNotMasked},
    {"images", "A_check.png", 200, 200, buttonCheck},
    {"images", "A02.png", 320, 431, verdictNone},
    {"images", "A03.png", 320, 431, verdictDetected},
    {"help", "help_cover_lens.png", 280, 150, helpCoverLens},
    {"images", "AppIcon192.png", 192, 192, appIcon},
    {"images", "AppIcon512.png", 512, 512, appIcon},
};

bool writeImage(const ImageSpec& spec, const std::filesystem::path& folder) {
    const kesto::UniqueHandle<cairo_surface_t, cairo_surface_destroy> surface(
        cairo_image_surface_create(CAIRO_FORMAT_ARGB32, spec.width, spec.height));
    const kesto::UniqueHandle<cairo_t, cairo_destroy> cr(cairo_create(surface.get()));
    cairo_set_antialias(cr.get(), CAIRO_ANTIALIAS_BEST);
    spec.paint(cr.get(), spec.width, spec.height);
    const auto path = (folder / spec.name).string();
    cairo_status_t status = cairo_status(cr.get());
    if (status == CAIRO_STATUS_SUCCESS) {
        status = cairo_surface_write_to_png(surface.get(), path.c_str());
    }
    if (status != CAIRO_STATUS_SUCCESS) {
        std::fprintf(stderr, "%s: %s\n", path.c_str(), cairo_status_to_string(status));
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <images folder> <help folder>\n", argv[0]);
        return 2;
    }
    const std::filesystem::path images = argv[1];
    const std::filesystem::path help = argv[2];
    std::error_code error;
    std::filesystem::create_directories(images, error);
    std::filesystem::create_directories(help, error);
    bool ok = true;
    for (const auto& spec : kImages) {
        ok = writeImage(spec, std::string(spec.folder) == "help" ? help : images) && ok;
    }
    cairo_debug_reset_static_data();
    return ok ? 0 : 1;
}
