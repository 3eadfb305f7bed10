// The composite run's arithmetic without a view: how many frames it expects, where each tile
// goes and which sheets are written.
#include <gtest/gtest.h>

#include <vector>

#include "app/frame_run_options.h"
#include "app/tile_layout.h"

namespace {

struct Tile {
  Integer Frame, Sheet, X, Y;
  friend bool operator==(const Tile&, const Tile&) = default;
};

struct Sheets {
  std::vector<Tile> Tiles;      // the frames that exist, with their sheet and place
  std::vector<Integer> Written; // the sheet numbers written
};

// Frames 1 .. Count of 160 x 90 each; Missing lists the frames without a file.
Sheets Lay(Integer Columns, Integer Lines, Integer Count, std::vector<Integer> Missing = {}) {
  TTileLayout layout(Columns, Lines);
  Sheets out;
  std::vector<Tile> pending;
  for (Integer q = 1; q <= Count; ++q) {
    const bool exists = std::find(Missing.begin(), Missing.end(), q) == Missing.end();
    const TTileLayout::TPlace p = layout.Next(exists, 160, 90, q == Count);
    if (exists) pending.push_back({q, 0, p.PosX, p.PosY});
    if (p.SheetEnds) {
      for (Tile& t : pending) t.Sheet = p.Sheet;
      out.Tiles.insert(out.Tiles.end(), pending.begin(), pending.end());
      pending.clear();
      if (p.SaveSheet) out.Written.push_back(p.Sheet);
    }
  }
  EXPECT_TRUE(pending.empty()) << "the last frame must end its sheet";
  return out;
}

TEST(TileLayout, EverySecondOver10Point4SecondsIn2LinesOf3) {
  TFrameRunChoices c;
  c.Selection = fsEverySeconds;
  c.EverySecondsText = "1";
  c.Begin = 0;
  c.End = c.BeginMax = c.EndMax = 260;
  c.Duration = 10400000;
  ASSERT_EQ(ExpectedTileFrames(c), 11);  // R(10.4) + 1

  const Sheets s = Lay(3, 2, 11);
  const std::vector<Tile> expected = {
      {1, 1, 0, 0},   {2, 1, 160, 0},  {3, 1, 320, 0},  {4, 1, 0, 90},  {5, 1, 160, 90}, {6, 1, 320, 90},
      {7, 2, 0, 0},   {8, 2, 160, 0},  {9, 2, 320, 0},  {10, 2, 0, 90}, {11, 2, 160, 90},
  };
  EXPECT_EQ(s.Tiles, expected);
  EXPECT_EQ(s.Written, (std::vector<Integer>{1, 2}));
}

TEST(TileLayout, ExpectedFramesForEachSelection) {
  TFrameRunChoices c;
  c.Begin = 25;
  c.End = 75;
  c.BeginMax = c.EndMax = 100;
  c.Duration = 4000000;  // a 2-second stretch
  struct {
    TFrameSelection Selection;
    const char* Text;
    Integer Expected;
  } const cases[] = {
      {fsEverySeconds, "1", 3}, {fsEverySeconds, "3", 2}, {fsFps, "5", 11}, {fsExpress, "7", 7},
  };
  for (const auto& k : cases) {
    c.Selection = k.Selection;
    c.EverySecondsText = c.FrameRateText = c.ExpressText = k.Text;
    EXPECT_EQ(ExpectedTileFrames(c), k.Expected) << k.Selection << " " << k.Text;
  }
}

TEST(TileLayout, MissingFramesKeepTheirCellsAndEmptySheetsAreNotWritten) {
  // Express 5 with 1 line of 2: two, two and one.
  Sheets s = Lay(2, 1, 5);
  EXPECT_EQ(s.Written, (std::vector<Integer>{1, 2, 3}));
  EXPECT_EQ(s.Tiles.back(), (Tile{5, 3, 0, 0}));

  // A missing frame leaves its cell empty; the next tile still goes to its own cell.
  s = Lay(3, 1, 3, {2});
  EXPECT_EQ(s.Tiles, (std::vector<Tile>{{1, 1, 0, 0}, {3, 1, 320, 0}}));

  // The last sheet whose only frame is missing is not written...
  s = Lay(2, 1, 5, {5});
  EXPECT_EQ(s.Written, (std::vector<Integer>{1, 2}));
  // ...but one that visited more than one cell is.
  s = Lay(3, 1, 5, {5});
  EXPECT_EQ(s.Written, (std::vector<Integer>{1, 2}));
  EXPECT_EQ(s.Tiles.back(), (Tile{4, 2, 0, 0}));
}

}  // namespace
