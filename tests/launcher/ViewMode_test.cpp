// --view: where a scene and its pictures are read from, a model converted on the way, and the
// options it does not go with.

#include "launcher/ViewMode.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "launcher/CommandLine.h"
#include "sceneFile/VKGFile.h"
#include "support/Program.h"
#include "support/TempDir.h"

namespace {

namespace fs = std::filesystem;

TEST(ViewMode, ASceneOfADemoTreePlaysFromThatTree) {
  TempDir tree("view_tree");
  tree.write("data/scenes/ship.vkg", "");
  ViewedScene view;
  ASSERT_TRUE(prepareView(tree.file("data/scenes/ship.vkg"), view));
  EXPECT_EQ(fs::path(view.workingDirectory), fs::absolute(tree.path()));
  EXPECT_EQ(view.sceneFile, "data/scenes/ship.vkg");
  EXPECT_EQ(view.textureFolder, "data/textures/");
  EXPECT_EQ(view.compressedFolder, "data/texturesCompressed/");
}

TEST(ViewMode, AnyOtherSceneFindsItsPicturesBesideIt) {
  TempDir loose("view_loose");
  loose.write("models/ship.vkg", "");
  ViewedScene view;
  ASSERT_TRUE(prepareView(loose.file("models/ship.vkg"), view));
  EXPECT_EQ(view.workingDirectory, "");
  EXPECT_EQ(view.sceneFile, fs::absolute(loose / "models/ship.vkg").string());
  EXPECT_EQ(view.textureFolder, fs::absolute(loose / "models").string() + "/");
  EXPECT_FALSE(prepareView(loose.file("models/none.vkg"), view));
}

TEST(ViewMode, AModelIsConvertedIntoAFolderOfItsOwn) {
  TempDir dir("view_model");
  dir.write("tri.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
  ViewedScene view;
  ASSERT_TRUE(prepareView(dir.file("tri.obj"), view));
  EXPECT_EQ(fs::path(view.sceneFile).filename(), "tri.vkg");
  EXPECT_EQ(view.textureFolder, fs::path(view.sceneFile).parent_path().string() + "/");
  EXPECT_NE(fs::path(view.sceneFile).parent_path(), fs::absolute(dir.path()));  // nothing beside the model
  const std::string bytes = readText(view.sceneFile);
  vkg::SceneFile file;
  ASSERT_EQ(vkg::readSceneFile(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), file).status,
            vkg::ReadStatus::kOk);
  EXPECT_EQ(file.cameras.size(), 1u);  // Camera01
  EXPECT_EQ(file.lights.size(), 1u);   // KeyLight
  EXPECT_EQ(file.meshes.size(), 1u);
}

TEST(ViewMode, TheOptionGoesWithCaptureButNotWithOtherDemos) {
  TempDir dir("view_options");
  dir.write("m.vkg", "");
  const std::string file = dir.file("m.vkg");
  const auto parse = [](std::vector<const char*> args, CommandLineOptions& options, std::string& err) {
    args.insert(args.begin(), "demoengine");
    std::ostringstream out, errors;
    const CommandLineResult r = parseCommandLine(static_cast<int>(args.size()), args.data(), &options, out, errors);
    err = errors.str();
    return r;
  };
  CommandLineOptions options;
  std::string err;
  ASSERT_TRUE(parse({"--view", file.c_str(), "--headless", "--capture", "frames"}, options, err).run) << err;
  EXPECT_TRUE(options.viewing());
  EXPECT_FALSE(options.showDialog());
  for (std::vector<const char*> other : {std::vector<const char*>{"--dev", "."}, {"--check"}, {"--record", "a.mp4"}}) {
    std::vector<const char*> args = {"--view", file.c_str()};
    args.insert(args.end(), other.begin(), other.end());
    CommandLineOptions o;
    const CommandLineResult r = parse(args, o, err);
    EXPECT_FALSE(r.run) << other[0];
    EXPECT_EQ(r.exitCode, 2) << other[0];
    EXPECT_NE(err.find("--view plays one file without a demo"), std::string::npos) << err;
  }
  CommandLineOptions missing;
  EXPECT_EQ(parse({"--view", "no-such-model.obj"}, missing, err).exitCode, 2);
}

}  // namespace
