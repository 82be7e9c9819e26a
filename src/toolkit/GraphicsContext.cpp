#include "toolkit/GraphicsContext.h"

namespace kesto {

void GraphicsContext::clearRect(Rect r) {
    commands_.push_back({"clearRect", {r.origin.x, r.origin.y, r.size.width, r.size.height}});
}

void GraphicsContext::beginPath() {
    commands_.push_back({"beginPath", {}});
}

void GraphicsContext::addArc(double x, double y, double radius, double startAngle, double endAngle,
                             int clockwise) {
    commands_.push_back(
        {"addArc", {x, y, radius, startAngle, endAngle, clockwise != 0 ? 1.0 : 0.0}});
}

void GraphicsContext::moveToPoint(double x, double y) {
    commands_.push_back({"moveToPoint", {x, y}});
}

void GraphicsContext::addLineToPoint(double x, double y) {
    commands_.push_back({"addLineToPoint", {x, y}});
}

void GraphicsContext::closePath() {
    commands_.push_back({"closePath", {}});
}

void GraphicsContext::setFillColor(Color c) {
    commands_.push_back({"setFillColor", {c.red, c.green, c.blue, c.alpha}});
}

void GraphicsContext::fillPath() {
    commands_.push_back({"fillPath", {}});
}

}  // namespace kesto
