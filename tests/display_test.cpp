// What the window shows: the captions, the identifier panel and the value row, where
// and how they are drawn, and when the refresh timer redraws the row.

#include <cstdlib>
#include <limits>

#include "window_fixture.h"

namespace {

const std::vector<std::string> PanelLines = {
    "BeginPaint",
    "SelectObject WHITE_PEN",
    "SelectObject WHITE_BRUSH",
    "SetBkMode 0x1",
    "SetTextColor 0x505050",
    "DrawTextA 'Current Connected Audio Session Identifier:' (10,10,774,30) 0x24",
    "SetTextColor 0x0",
    "RoundRect 6 31 778 89 7 7",
    "DrawTextW '{0.0.0.00000000}.{render}|C:\\Apps\\player.exe%b{1}' (10,35,774,85) 0x10",
    "SetTextColor 0x505050",
    "DrawTextA 'Current Volume Level / Mute State / state / Process ID:' (10,100,774,120) 0x24",
    "SelectObject BLACK_PEN",  // the pen and brush a new device context starts with
    "SelectObject WHITE_BRUSH",
};

const std::vector<std::string> ValueRowLines = {
    "SelectObject BLACK_PEN",
    "SelectObject WHITE_BRUSH",
    "SetBkMode 0x1",
    "SetTextColor 0x0",
    "RoundRect 10 125 310 155 7 7",
    "DrawTextA 'Volume: 1.000' (10,125,310,155) 0x25",
    "RoundRect 320 125 470 155 7 7",
    "DrawTextA 'Mute: 0' (320,125,470,155) 0x25",
    "RoundRect 480 125 630 155 7 7",
    "DrawTextA 'Active' (480,125,630,155) 0x25",
    "RoundRect 640 125 740 155 7 7",
    "DrawTextA 'PUID: 4242' (640,125,740,155) 0x25",
    "SelectObject BLACK_PEN",
    "SelectObject WHITE_BRUSH",
};

std::vector<std::string> Concat(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class DisplayTest : public ProgramTest {};

TEST_F(DisplayTest, FirstPaintDrawsPanelThenValueRowAndRestoresPenAndBrush) {
    Use({PlayerSession()});
    Run({[](Program& program) {
        auto lines = DrawingLines(program.TakeTrace());
        auto expected = Concat(Concat(PanelLines, ValueRowLines), {"EndPaint"});
        EXPECT_EQ(lines, expected);
        EXPECT_EQ(AppState.valueRowRect.left, 10);
        EXPECT_EQ(AppState.valueRowRect.top, 125);
        EXPECT_EQ(AppState.valueRowRect.right, 774);
        EXPECT_EQ(AppState.valueRowRect.bottom, 155);
        program.Close();
    }});
}

TEST_F(DisplayTest, ZeroStatusWithoutASession) {
    Use({});
    Run({[](Program& program) {
             auto texts = Matching(DrawingLines(program.TakeTrace()), "DrawText");
             ASSERT_EQ(texts.size(), 7u);
             EXPECT_EQ(texts[1], "DrawTextW '' (10,35,774,85) 0x10");
             EXPECT_EQ(texts[3], "DrawTextA 'Volume: 0.000' (10,125,310,155) 0x25");
             EXPECT_EQ(texts[4], "DrawTextA 'Mute: 0' (320,125,470,155) 0x25");
             EXPECT_EQ(texts[5], "DrawTextA 'Inactive' (480,125,630,155) 0x25");
             EXPECT_EQ(texts[6], "DrawTextA 'PUID: 0' (640,125,740,155) 0x25");
             program.AdvanceTime(3000);
         },
         [](Program& program) {
             EXPECT_TRUE(DrawingLines(program.TakeTrace()).empty()) << "the zero status triggered a redraw";
             program.Close();
         }});
}

TEST_F(DisplayTest, TheTimerRedrawsOnlyTheRowAndOnlyOnAChange) {
    auto audio = Use({PlayerSession()});
    Run({
        [](Program& program) {
            program.TakeTrace();
            program.AdvanceTime(300);
        },
        [&](Program& program) {
            EXPECT_TRUE(DrawingLines(program.TakeTrace()).empty()) << "redrawn without a change";
            audio->OtherClientSetMute(0, TRUE);
            audio->Flush();
            program.AdvanceTime(30);
        },
        [&](Program& program) {
            auto lines = DrawingLines(program.TakeTrace());
            auto expected = ValueRowLines;
            expected[7] = "DrawTextA 'Mute: 1' (320,125,470,155) 0x25";
            expected.insert(expected.begin(), "GetDC");
            expected.push_back("ReleaseDC");
            EXPECT_EQ(lines, expected);
            // A process ID or identifier change alone is not watched.
            AppState.sink.processId = 1;
            program.AdvanceTime(60);
        },
        [&](Program& program) {
            EXPECT_TRUE(DrawingLines(program.TakeTrace()).empty());
            audio->ChangeState(0, AudioSessionStateExpired);
            audio->Flush();
            program.AdvanceTime(30);
        },
        [](Program& program) {
            EXPECT_EQ(Matching(DrawingLines(program.TakeTrace()), "DrawTextA 'Expired'").size(), 1u);
            program.Close();
        },
    });
}

TEST_F(DisplayTest, VolumeComparisonTreatsNaNAsChangedAndSignedZerosAsEqual) {
    auto audio = Use({PlayerSession()});
    Run({
        [&](Program& program) {
            audio->SendVolumeNotification(0, 0.0f, FALSE);
            audio->Flush();
            program.AdvanceTime(30);
        },
        [&](Program& program) {
            EXPECT_EQ(Matching(DrawingLines(program.TakeTrace()), "DrawTextA 'Volume: 0.000'").size(), 1u);
            audio->SendVolumeNotification(0, -0.0f, FALSE);
            audio->Flush();
            program.AdvanceTime(30);
        },
        [&](Program& program) {
            EXPECT_TRUE(DrawingLines(program.TakeTrace()).empty()) << "-0.0 counted as a change";
            audio->SendVolumeNotification(0, std::numeric_limits<float>::quiet_NaN(), FALSE);
            audio->Flush();
            program.AdvanceTime(30);
        },
        [&](Program& program) {
            EXPECT_EQ(Matching(DrawingLines(program.TakeTrace()), "GetDC").size(), 1u);
            program.AdvanceTime(30);
        },
        [&](Program& program) {
            // NaN never equals what was drawn: every tick redraws.
            EXPECT_EQ(Matching(DrawingLines(program.TakeTrace()), "GetDC").size(), 1u);
            program.Close();
        },
    });
}

TEST_F(DisplayTest, ResizingRepaintsEverythingAndKeepsTheRowInPlace) {
    Use({PlayerSession()});
    Run({
        [](Program& program) {
            program.TakeTrace();
            program.Resize(1000, 500);
        },
        [](Program& program) {
            auto lines = DrawingLines(program.TakeTrace());
            EXPECT_EQ(Matching(lines, "DrawTextA 'Current Connected")[0],
                      "DrawTextA 'Current Connected Audio Session Identifier:' (10,10,974,30) 0x24");
            EXPECT_EQ(Matching(lines, "RoundRect 6")[0], "RoundRect 6 31 978 89 7 7");
            EXPECT_EQ(Matching(lines, "RoundRect 10")[0], "RoundRect 10 125 310 155 7 7");
            EXPECT_EQ(AppState.valueRowRect.right, 974);
            program.Close();
        },
    });
}

TEST_F(DisplayTest, ProcessIdsAboveTwoToTheThirtyFirstShowAsTheirUnsignedValue) {
    Use({PlayerSession(u"{0.0.0.00000000}.{render}|C:\\Apps\\player.exe%b{1}", 4294967295u)});
    Run({[](Program& program) {
        EXPECT_EQ(Matching(DrawingLines(program.TakeTrace()), "DrawTextA 'PUID")[0],
                  "DrawTextA 'PUID: 4294967295' (640,125,740,155) 0x25");
        program.Close();
    }});
}

// A drag to a size larger than any screen ends at the largest tracking size, as on
// Windows; the window goes on following the service and closing.
TEST_F(DisplayTest, AHugeResizeIsClampedAndTheRowStillFollows) {
    auto audio = Use({PlayerSession()});
    RunResult result = Run({
        [](Program& program) { program.Resize(32767, 32767); },
        [&](Program& program) {
            const int maxWidth = GetSystemMetrics(SM_CXMAXTRACK), maxHeight = GetSystemMetrics(SM_CYMAXTRACK);
            EXPECT_GE(maxWidth, 800);
            EXPECT_LT(maxWidth, 32767);
            RECT outer;
            GetWindowRect(program.MainWindow(), &outer);
            EXPECT_EQ(outer.right - outer.left, maxWidth);
            EXPECT_EQ(outer.bottom - outer.top, maxHeight);
            platform::test::Image image = program.Snapshot();
            RECT client;
            GetClientRect(program.MainWindow(), &client);
            EXPECT_EQ(image.width, client.right);
            EXPECT_EQ(image.height, client.bottom);
            program.TakeTrace();
            audio->OtherClientSetVolume(0, 0.73f);
            audio->Flush();
            program.AdvanceTime(30);
        },
        [](Program& program) {
            EXPECT_EQ(Matching(DrawingLines(program.TakeTrace()), "DrawTextA 'Volume")[0],
                      "DrawTextA 'Volume: 0.730' (10,125,310,155) 0x25");
            program.Close();
        },
    });
    EXPECT_FALSE(result.stepsExhausted) << "the close was not honoured";
}

TEST_F(DisplayTest, ALongIdentifierIsWrappedAndClippedToThePanel) {
    std::u16string identifier;
    for (int word = 0; word < 80; ++word) identifier += u"session-word ";
    identifier += std::u16string(200, u'X');  // no break point: cut at the right edge
    Use({PlayerSession(identifier)});
    Run({[](Program& program) {
        platform::test::Image image = program.Snapshot();
        ASSERT_EQ(image.width, ClientWidth);
        auto inked = [&](int x0, int y0, int x1, int y1) {
            int count = 0;
            for (int y = y0; y < y1; ++y)
                for (int x = x0; x < x1; ++x) count += image.At(x, y) != 0xFFFFFF;
            return count;
        };
        EXPECT_GT(inked(10, 35, 774, 85), 1000) << "the identifier was not drawn";
        // Inside the panel but outside the text rectangle: untouched white.
        EXPECT_EQ(inked(10, 86, 774, 88), 0) << "text drawn below the text rectangle";
        EXPECT_EQ(inked(774, 33, 777, 87), 0) << "text drawn right of the text rectangle";
        EXPECT_EQ(inked(7, 33, 10, 87), 0);
        program.Close();
    }});
}

// What reaches the display: the first frame is the finished window, and after that
// only what changed is sent.
TEST_F(DisplayTest, TheFirstFrameIsCompleteAndARowChangeSendsOnlyTheRow) {
    auto audio = Use({PlayerSession()});
    platform::test::Image firstFrame;
    Run({
        [&](Program& program) {
            std::vector<platform::test::Presented> presents = program.TakePresents();
            ASSERT_EQ(presents.size(), 1u) << "the window reached the display in pieces";
            ASSERT_EQ(presents[0].area.size(), 1u);
            const RECT& area = presents[0].area[0];
            EXPECT_EQ(area.left, 0);
            EXPECT_EQ(area.top, 0);
            EXPECT_EQ(area.right, ClientWidth);
            EXPECT_EQ(area.bottom, ClientHeight);
            // The buttons included: the first frame is the reference window, but for the
            // volume it shows before the change the reference was taken after.
            firstFrame = presents[0].screen;
            const platform::test::Image reference = platform::test::LoadPng(GoldenImage);
            ASSERT_EQ(reference.width, firstFrame.width);
            ASSERT_EQ(reference.height, firstFrame.height);
            const platform::test::ImageDifference difference = Difference(firstFrame, reference, VolumeBox);
            EXPECT_EQ(difference.count, 0) << "the first frame is not the finished window; first difference at ("
                                           << difference.first.x << ", " << difference.first.y << ")";
            audio->OtherClientSetVolume(0, 0.25f);
            audio->Flush();
            program.AdvanceTime(30);
        },
        [&](Program& program) {
            std::vector<platform::test::Presented> presents = program.TakePresents();
            ASSERT_EQ(presents.size(), 1u);
            ASSERT_FALSE(presents[0].area.empty());
            for (const RECT& part : presents[0].area) {
                EXPECT_GE(part.left, 10);
                EXPECT_GE(part.top, 125);
                EXPECT_LE(part.right, 740);
                EXPECT_LE(part.bottom, 155);
            }
            const platform::test::Image shown = program.Snapshot();
            EXPECT_GT(Difference(shown, firstFrame).count, 0) << "the new row did not reach the display";
            EXPECT_EQ(Difference(shown, firstFrame, VolumeBox).count, 0) << "more than the volume changed on the display";
            program.Close();
        },
    });
}

TEST_F(DisplayTest, AnExposeIsShownAgainFromTheWindowsPixelsWithoutPainting) {
    Use({PlayerSession()});
    const RECT lost{100, 50, 500, 200};  // part of the panel, the row and the first buttons
    platform::test::Image beforeTheLoss;
    Run({
        [&](Program& program) {
            program.TakeTrace();
            program.TakePresents();
            beforeTheLoss = program.Snapshot();
            program.ExposeArea(lost);
            EXPECT_EQ(program.Snapshot().At(200, 140), 0u) << "the display did not lose the area";
        },
        [&](Program& program) {
            EXPECT_TRUE(DrawingLines(program.TakeTrace()).empty()) << "the window procedure painted for an expose";
            std::vector<platform::test::Presented> presents = program.TakePresents();
            ASSERT_EQ(presents.size(), 1u);
            ASSERT_EQ(presents[0].area.size(), 1u);
            EXPECT_EQ(presents[0].area[0].left, lost.left);
            EXPECT_EQ(presents[0].area[0].top, lost.top);
            EXPECT_EQ(presents[0].area[0].right, lost.right);
            EXPECT_EQ(presents[0].area[0].bottom, lost.bottom);
            EXPECT_TRUE(program.Snapshot().pixels == beforeTheLoss.pixels) << "the lost area was not shown as it was";
            program.Close();
        },
    });
}

// The whole window as the display shows it, pixel for pixel, against the reference
// image in tests/golden: what the window manager presented, after a row change.
// SESSIONVOL_UPDATE_GOLDEN=1 rewrites the reference after a deliberate change.
TEST_F(DisplayTest, WindowMatchesTheReferenceImage) {
    auto audio = Use({PlayerSession()});
    Run({
        [&](Program& program) {
            audio->OtherClientSetVolume(0, 0.25f);
            audio->Flush();
            program.AdvanceTime(30);
        },
        [&](Program& program) {
            if (std::getenv("SESSIONVOL_UPDATE_GOLDEN") != nullptr) {
                ASSERT_TRUE(program.SavePng(GoldenImage));
            }
            platform::test::Image actual = program.Snapshot();
            platform::test::Image reference = platform::test::LoadPng(GoldenImage);
            ASSERT_NE(reference.width, 0) << "cannot read " << GoldenImage;
            ASSERT_EQ(reference.width, actual.width);
            ASSERT_EQ(reference.height, actual.height);
            const platform::test::ImageDifference difference = Difference(actual, reference);
            EXPECT_EQ(difference.count, 0) << "first difference at (" << difference.first.x << ", " << difference.first.y << ")";
            program.Close();
        },
    });
}

// At a desktop's scale of 2 the window is drawn at the display's resolution: twice
// the client size in device pixels, glyph edges placed on device pixels (a scale-1
// image stretched to twice its size would have every aligned 2 x 2 block in one
// colour), and one-pixel pens two device pixels wide and sharp, as Windows shows them
// at 200 %. The same change as the reference image, so both scales show the same row.
TEST_F(DisplayTest, AtScale2TheWindowIsDrawnAtTheDisplaysResolutionNotStretched) {
    auto showRowChange = [&](platform::test::Image& shown) {
        auto audio = Use({PlayerSession()});
        Run({
            [&](Program& program) {
                audio->OtherClientSetVolume(0, 0.25f);
                audio->Flush();
                program.AdvanceTime(30);
            },
            [&](Program& program) {
                shown = program.Snapshot();
                program.Close();
            },
        });
    };
    platform::test::Image atOne, atTwo;
    showRowChange(atOne);
    {
        OffscreenScale scale("2");
        showRowChange(atTwo);
    }
    ASSERT_EQ(atOne.width, ClientWidth);
    ASSERT_EQ(atOne.height, ClientHeight);
    ASSERT_EQ(atTwo.width, 2 * ClientWidth);
    ASSERT_EQ(atTwo.height, 2 * ClientHeight);

    // Blocks of 2 x 2 device pixels (one logical pixel) in more than one colour: only
    // drawing at device resolution makes them; the volume box's text has many.
    auto splitBlocks = [&](const RECT& logical) {
        int split = 0;
        for (int y = logical.top; y < logical.bottom; ++y) {
            for (int x = logical.left; x < logical.right; ++x) {
                const uint32_t corner = atTwo.At(2 * x, 2 * y);
                if (atTwo.At(2 * x + 1, 2 * y) != corner || atTwo.At(2 * x, 2 * y + 1) != corner ||
                    atTwo.At(2 * x + 1, 2 * y + 1) != corner)
                    ++split;
            }
        }
        return split;
    };
    EXPECT_GT(splitBlocks(VolumeBox), 50) << "the volume's text looks stretched from scale 1";

    // Where scale 1 shows a colour, scale 2 shows it over the whole logical pixel, away
    // from text: the volume box's pen on its left edge, black and two pixels wide, the
    // white brush inside, the grey background outside.
    const int middle = (VolumeBox.top + VolumeBox.bottom) / 2;
    const int left = VolumeBox.left;
    for (int x : {left - 1, left, left + 1}) {
        for (int device = 0; device < 4; ++device) {
            EXPECT_EQ(atTwo.At(2 * x + device % 2, 2 * middle + device / 2), atOne.At(x, middle))
                << "logical (" << x << ", " << middle << ") at scale 2 is not the colour scale 1 shows there";
        }
    }
    EXPECT_EQ(atOne.At(left, middle), 0u) << "the pen is not where this test looks";
}

// At 125 % the client area's 784 x 361 logical pixels need 980 x 452 device pixels.
// Where a device pixel is only partly the window's or a button's, the displays show the
// window's background (X11 and Wayland copy only an image's pixels), and so must the
// reference they are compared with:
// - the last row and column, only partly covered by the window: no unpainted black edge;
// - the "0" button, logical x 10 to 70, ends halfway into device column 87, past its
//   75-pixel image (from column 12): no black line beside it.
TEST_F(DisplayTest, AtAFractionalScalePartlyCoveredPixelsShowTheBackground) {
    auto audio = Use({PlayerSession()});
    OffscreenScale scale("1.25");
    platform::test::Image shown;
    Run({[&](Program& program) {
        shown = program.Snapshot();
        program.Close();
    }});
    ASSERT_EQ(shown.width, 980);
    ASSERT_EQ(shown.height, 452);
    const uint32_t background = platform::test::PixelOf(RGB(240, 240, 240));
    int unpainted = 0;
    for (int x = 0; x < shown.width; ++x) unpainted += shown.At(x, shown.height - 1) != background;
    for (int y = shown.height / 2; y < shown.height; ++y) unpainted += shown.At(shown.width - 1, y) != background;
    EXPECT_EQ(unpainted, 0) << "pixels of the bottom row or the lower right column are not the background";
    int besideButton = 0;
    // The button's rows: logical 160 to 190, device 200 to 237.
    for (int y = 200; y < 238; ++y) besideButton += shown.At(87, y) != background;
    EXPECT_EQ(besideButton, 0) << "device column 87 beside the \"0\" button is not the background";
}

}  // namespace
