// The whole data tree and its parts.
#pragma once
#include <string>
#include <vector>

#include "tools/assets/files.h"
#include "tools/assets/raster.h"

enum class PictureKind { Bmp = 1, Pcx = 2 };

struct Picture {
  int id;            // AssetTable id
  std::string name;  // the game's file name
  PictureKind kind;
  int frames;        // frames stacked top to bottom
  Image image;
};

struct PictureNames {
  int id;
  const char* name;
  PictureKind kind;
  int frames;
};
// All 56 rows of the game's picture table; frames is what the game loads the picture with
// (ids 15 and 22, never loaded, are fonts of 96 glyphs like the others).
extern const PictureNames kPictureNames[56];

// Palette and common drawing shared by the picture makers.
namespace look {
extern const Rgb kNight, kNavy, kBlue, kDeepBlue, kGold, kDarkGold, kCream, kInk, kGreen, kDarkGreen,
    kRed, kDarkRed, kWhite, kPanel, kSlot, kPurple;
// A rounded tile with a border and a glossy gradient, keyed outside its corners.
Image Tile(int w, int h, Rgb top, Rgb bottom, Rgb border, int inset = 3, float radius = 12);
}  // namespace look

std::vector<Picture> MakePictures(Typesetter& type);  // every picture but the fonts

struct Sound {
  std::string name;
  Bytes wav;
};
std::vector<Sound> MakeSounds();

struct Clip {
  std::string name;
  Bytes avi;
};
std::vector<Clip> MakeClips(Typesetter& type);
extern const char* const kClipNames[4];

struct TreeReport {
  size_t files = 0;
  uint64_t bytes = 0;
  std::string contactSheet;
};
// Writes everything into root. The contact sheet (every picture and frame, labelled) goes to
// sheetPath when that is not empty.
TreeReport WriteTree(const std::string& root, const std::string& bank, const std::string& sheetPath);
