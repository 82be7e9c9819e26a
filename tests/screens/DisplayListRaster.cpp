#include "DisplayListRaster.h"

#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>

#include <cairo.h>

#include "platform/UniqueHandle.h"

namespace kesto::test {
namespace {

void replay(cairo_t* cr, const DrawCommand& command) {
    const auto& v = command.values;
    if (command.op == "clearRect") {
        cairo_save(cr);
        cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
        cairo_rectangle(cr, v.at(0), v.at(1), v.at(2), v.at(3));
        cairo_fill(cr);
        cairo_restore(cr);
    } else if (command.op == "beginPath") {
        cairo_new_path(cr);
    } else if (command.op == "addArc") {
        // Like the platform's arc, it starts with a line from the current
        // point, if any. Flag 1 turns towards decreasing angles.
        (v.at(5) != 0.0 ? cairo_arc_negative : cairo_arc)(cr, v[0], v[1], v[2], v[3], v[4]);
    } else if (command.op == "moveToPoint") {
        cairo_move_to(cr, v.at(0), v.at(1));
    } else if (command.op == "addLineToPoint") {
        cairo_line_to(cr, v.at(0), v.at(1));
    } else if (command.op == "setFillColor") {
        cairo_set_source_rgba(cr, v.at(0), v.at(1), v.at(2), v.at(3));
    } else if (command.op == "fillPath") {
        cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
        cairo_fill(cr);  // fills every sub-path as closed, and clears the path
    } else {
        throw std::invalid_argument("unknown drawing operation " + command.op);
    }
}

}  // namespace

DisplayListRaster::DisplayListRaster(int width, int height,
                                     const std::vector<DrawCommand>& commands)
    : width_(width), alpha_(static_cast<std::size_t>(width * height), 0) {
    const UniqueHandle<cairo_surface_t, cairo_surface_destroy> surface(
        cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
    const UniqueHandle<cairo_t, cairo_destroy> cr(cairo_create(surface.get()));
    // The default source is opaque black, as the platform's default fill.
    cairo_set_antialias(cr.get(), CAIRO_ANTIALIAS_DEFAULT);
    for (const auto& command : commands) {
        replay(cr.get(), command);
    }
    cairo_surface_flush(surface.get());
    const unsigned char* data = cairo_image_surface_get_data(surface.get());
    const int stride = cairo_image_surface_get_stride(surface.get());
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint32_t pixel = 0;
            std::memcpy(&pixel, data + y * stride + x * 4, sizeof pixel);  // native-endian ARGB
            alpha_[static_cast<std::size_t>(y * width + x)] =
                static_cast<std::uint8_t>(pixel >> 24);
        }
    }
}

std::uint8_t DisplayListRaster::alphaAt(int x, int y) const {
    return alpha_[static_cast<std::size_t>(y * width_ + x)];
}

}  // namespace kesto::test
