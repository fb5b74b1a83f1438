// The Open step through a scripted file dialog, on real files.
#include "fake_toolkit.h"
#include "form/open_step.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;
using fw::Ctl;

namespace {

int openDescriptors()
{
    int n = 0;
    for ([[maybe_unused]] auto& e : fs::directory_iterator("/proc/self/fd"))
        ++n;
    return n;
}

class OpenStepTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() /
              ("open_step_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir / "K20T");
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string makeFile(const std::string& name, std::size_t size)
    {
        const fs::path p = dir / "K20T" / name;
        std::ofstream(p, std::ios::binary) << std::string(size, '\x01');
        return p.string();
    }
    void choose(const std::string& path)
    {
        ui.dialogAnswers.push_back({path, fs::path(path).filename().string()});
    }
    void run() { fw::runOpenStep(ui, state, (dir / "K20T").string()); }

    fs::path dir;
    fw::test::FakeToolkit ui;
    fw::FormState state;
};

TEST_F(OpenStepTest, DialogIsSetUpForPackagesBesideTheProgram)
{
    run();
    ASSERT_EQ(ui.dialogsShown.size(), 1u);
    const auto& d = ui.dialogsShown[0];
    EXPECT_EQ(d.flags, 0x805u);
    EXPECT_EQ(d.title, "Open");
    EXPECT_EQ(d.filter, "Firmware File(*.DPX)|*.DPX");
    EXPECT_EQ(fs::path(d.initialDir), dir / "K20T");
}

TEST_F(OpenStepTest, TypeComesFromTheNameAlone)
{
    const struct {
        const char* name;
        const char* type;
    } cases[] = {
        {"printer_font_v2.dpx", "FONT"}, {"Fonts.DPX", "FONT"},   {"myFONT.DPX", "FONT"},
        {"MAIN.DPX", "FIRMWARE"},        {"fnt.DPX", "FIRMWARE"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        choose(makeFile(c.name, 10));
        run();
        EXPECT_EQ(ui.text(Ctl::lblFileType), std::string("FILE TYPE : ") + c.type);
        EXPECT_EQ(ui.text(Ctl::lblFileName), std::string("FILE NAME : ") + c.name);
    }
}

TEST_F(OpenStepTest, GoodFileShowsItsSizeAndArmsStart)
{
    ui.setEnabled(Ctl::cmdSTART, false);
    const std::string path = makeFile("MAIN.DPX", 1048576);
    choose(path);
    run();
    EXPECT_EQ(state.packagePath, path);
    EXPECT_EQ(ui.text(Ctl::lblSize), "Size Total : 1048576");
    EXPECT_EQ(ui.backColour(Ctl::cmdSTART), 0x80FF80u);
    EXPECT_TRUE(ui.isEnabled(Ctl::cmdSTART));
    EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(OpenStepTest, NameIsTrimmedOfBlanks)
{
    const std::string path = makeFile(" MAIN.DPX ", 3);
    choose(path);
    run();
    EXPECT_EQ(ui.text(Ctl::lblFileName), "FILE NAME : MAIN.DPX");
}

TEST_F(OpenStepTest, EmptyOrMissingFileKeepsTheOldSizeAndButton)
{
    choose(makeFile("GOOD.DPX", 7));
    run();
    // A named pipe must not hang the window: nobody ever writes to this one.
    const std::string pipe = (dir / "K20T" / "PIPE.DPX").string();
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0666), 0);
    for (const std::string& bad : {makeFile("EMPTY.DPX", 0), (dir / "K20T" / "NONE.DPX").string(),
                                   (dir / "K20T").string(), pipe}) {
        SCOPED_TRACE(bad);
        ui.boxes.clear();
        ui.setBackColour(Ctl::cmdSTART, fw::kStartColourInitial);
        ui.setEnabled(Ctl::cmdSTART, false);
        choose(bad);
        run();
        EXPECT_EQ(ui.boxTexts(), std::vector<std::string>{"Firmware file not open."});
        EXPECT_EQ(state.packagePath, bad); // path and name already belong to the new file
        EXPECT_EQ(ui.text(Ctl::lblFileName), "FILE NAME : " + fs::path(bad).filename().string());
        EXPECT_EQ(ui.text(Ctl::lblSize), "Size Total : 7");
        EXPECT_EQ(ui.backColour(Ctl::cmdSTART), fw::kStartColourInitial);
        EXPECT_FALSE(ui.isEnabled(Ctl::cmdSTART));
    }
}

TEST_F(OpenStepTest, CancelChangesNothing)
{
    run(); // the very first dialog cancelled
    EXPECT_TRUE(state.packagePath.empty());
    EXPECT_EQ(ui.backColour(Ctl::cmdSTART), fw::kStartColourInitial);
    EXPECT_EQ(ui.text(Ctl::lblFileType), "file Type: Font");

    const std::string path = makeFile("Fonts.DPX", 5);
    choose(path);
    run();
    run(); // cancelled after a good file
    EXPECT_EQ(state.packagePath, path);
    EXPECT_EQ(ui.text(Ctl::lblSize), "Size Total : 5");
    EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(OpenStepTest, NoFileStaysOpen)
{
    const int before = openDescriptors();
    choose(makeFile("A.DPX", 100));
    run();
    choose(makeFile("B.DPX", 0));
    run();
    choose((dir / "missing.DPX").string());
    run();
    EXPECT_EQ(openDescriptors(), before);
}

TEST_F(OpenStepTest, DuringADownloadTheButtonStaysWithTheSession)
{
    state.sessionRunning = true;
    ui.setEnabled(Ctl::cmdSTART, false);
    choose(makeFile("NEXT.DPX", 4));
    run();
    EXPECT_FALSE(ui.isEnabled(Ctl::cmdSTART)); // no second session from this one
}

} // namespace
