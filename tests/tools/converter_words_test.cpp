// SPDX-License-Identifier: MIT
// What brin-picture tells a player who tries it: what is missing from a command line, where
// a level went and how to undo it, and why a picture will make a poor level.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "imageio.h"
#include "run_converter.h"
#include "support.h"

namespace {

// Red across, green down, in smooth steps: tiles that differ by little in one direction,
// with little in them besides.
tools::Image gradient(int width, int height, int green_range) {
    tools::Image image(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.at(x, y) = {static_cast<std::uint8_t>(x * 255 / width),
                              static_cast<std::uint8_t>(8 + y * green_range / height), 90};
    return image;
}

TEST(ConverterWords, CommandLinesThatCannotWorkSayWhatIsWrongAndWriteNothing) {
    const std::string dir = test::temp_dir();
    const std::string picture = dir + "p.png";
    tools::write_png(picture, gradient(64, 48, 200));
    const struct {
        std::vector<std::string> arguments;
        std::string message;
    } cases[] = {
        {{}, "no PICTURE given"},
        {{"--fit"}, "no PICTURE given"},
        {{picture}, "no LEVEL.pcx given: name the file to write, or write a level with --level N"},
        {{picture, dir + "out.png"}, "its name must end in .pcx: not \"" + dir + "out.png\""},
        {{picture, dir + ".pcx"}, "its name must end in .pcx"},
        {{picture, dir + "out.pcx", dir + "more.pcx"}, "\"" + dir + "more.pcx\" is one file too many"},
        {{"--level", "2", picture, dir + "out.pcx"}, "--level 2 writes into the game's folder"},
    };
    for (const auto& c : cases) {
        const test::Converted run = test::convert(c.arguments, dir, {"HOME=" + dir + "home"});
        EXPECT_EQ(run.status, 1) << c.message;
        EXPECT_EQ(run.said.rfind("brin-picture: ", 0), 0u) << run.said;
        EXPECT_NE(run.said.find(c.message), std::string::npos) << run.said;
        EXPECT_NE(run.said.find("usage: brin-picture"), std::string::npos) << run.said;
        for (const char* written : {"out.png", ".pcx", "out.pcx", "more.pcx", "home"})
            EXPECT_FALSE(std::filesystem::exists(dir + written)) << c.message << ": " << written << " was written";
    }
    // The ending is a file's kind, in whatever case.
    EXPECT_EQ(test::convert({picture, dir + "OUT.PCX"}, dir).status, 0);
}

TEST(ConverterWords, ALevelSaysWhereItWentAndHowToGetTheShippedPictureBack) {
    const std::string dir = test::temp_dir();
    tools::write_png(dir + "p.png", gradient(640, 480, 200));
    const test::Converted run = test::convert({dir + "p.png", "--level", "3"}, dir, {"HOME=" + dir + "home"});
    ASSERT_EQ(run.status, 0) << run.said;
    EXPECT_NE(run.said.find("Wrote level 3: " + dir + "home/.local/share/brin/3.pcx\n"), std::string::npos) << run.said;
    EXPECT_NE(run.said.find("To get the shipped picture back, delete that file"), std::string::npos) << run.said;
}

TEST(ConverterWords, PoorPicturesGetARemarkAndAreWrittenAllTheSame) {
    const std::string dir = test::temp_dir();
    const struct {
        const char* name;
        tools::Image picture;
        std::vector<std::string> options;
        std::string remark;  // empty: none
    } cases[] = {
        {"tiny.png", gradient(20, 15, 240), {}, "is only 20x15 pixels, so it is blown up 32 times"},
        {"tiny.png", gradient(20, 15, 240), {"--fit"}, "is only 20x15 pixels, so it is blown up 32 times"},
        {"half.png", gradient(320, 240, 240), {}, "is only 320x240 pixels, so it is blown up 2 times"},
        {"large.png", gradient(330, 250, 240), {}, ""},
        // The two most alike tiles, one above the other, differ by less than 4 levels.
        {"alike.png", gradient(640, 480, 215), {}, "are easily taken for each other (they differ by 3."},
    };
    for (const auto& c : cases) {
        tools::write_png(dir + c.name, c.picture);
        std::vector<std::string> arguments = c.options;
        arguments.insert(arguments.end(), {dir + c.name, dir + "level.pcx"});
        const test::Converted run = test::convert(arguments, dir);
        EXPECT_EQ(run.status, 0) << run.said;
        EXPECT_EQ(tools::read_pcx(dir + "level.pcx").width, 640);
        if (c.remark.empty())
            EXPECT_EQ(run.said.find("blown up"), std::string::npos) << c.name << " said: " << run.said;
        else
            EXPECT_NE(run.said.find(c.remark), std::string::npos) << c.name << " said: " << run.said;
        std::remove((dir + "level.pcx").c_str());
    }
}

}  // namespace
