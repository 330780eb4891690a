#include "app/window/platform.h"

#include <cstdio>
#include <cstdlib>

namespace korvane {

namespace {
Platform* installed = nullptr;
}

Platform& platform() {
    if (installed == nullptr) {
        std::fputs("korvane: no platform installed\n", stderr);
        std::abort();
    }
    return *installed;
}

void installPlatform(Platform* platform) {
    installed = platform;
}

void Framebuffer::resize(int w, int h) {
    if (w < 1 || h < 1) {
        w = 0;
        h = 0;
    }
    width = w;
    height = h;
    pixels.assign(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), rgb(0, 0, 0));
}

std::uint32_t Framebuffer::at(int x, int y) const {
    if (x < 0 || y < 0 || x >= width || y >= height) return 0;
    return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)];
}

void Framebuffer::set(int x, int y, std::uint32_t colour) {
    if (x < 0 || y < 0 || x >= width || y >= height) return;
    pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)] = colour;
}

}  // namespace korvane
