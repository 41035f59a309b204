// SPDX-License-Identifier: MIT
// make-levels: the four level pictures 1.pcx to 4.pcx, painted and written to a folder.
//   make-levels FOLDER
#include <stdexcept>
#include <string>

#include "cli.h"
#include "imageio.h"
#include "quantise.h"
#include "scenes.h"

int main(int argc, char** argv) {
    return tools::run("make-levels", [&] {
        if (argc != 2) throw std::runtime_error("usage: make-levels FOLDER");
        const std::string folder = std::string(argv[1]) + "/";
        // From the easiest to place by eye to the hardest.
        tools::Image (*const scenes[])() = {tools::lake_at_sunset, tools::harbour_village, tools::stained_glass,
                                            tools::fractal_spirals};
        int level = 1;
        for (auto scene : scenes)
            tools::write_pcx(folder + std::to_string(level++) + ".pcx", tools::quantise(scene(), 0.8f));
    });
}
