// The cameras of a glTF file read from its own JSON, in a .gltf text and in a .glb container;
// anything that is not such a document gives nothing.

#include "modelImport/GltfCameras.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

std::optional<std::vector<modelimport::GltfCamera>> read(const std::string& text) {
  return modelimport::readGltfCameras(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

std::string glb(const std::string& json) {
  std::string out = "glTF";
  const auto le = [&](uint32_t v) {
    for (int i = 0; i < 4; ++i) out += static_cast<char>(v >> (8 * i) & 0xff);
  };
  le(2);
  le(static_cast<uint32_t>(20 + json.size()));
  le(static_cast<uint32_t>(json.size()));
  out += "JSON" + json;
  return out;
}

const std::string kCameras = R"({"asset": {"version": "2.0"}, "cameras": [
  {"type": "perspective", "perspective": {"yfov": 0.7, "aspectRatio": 1.5, "znear": 0.01, "zfar": 100}},
  {"type": "perspective", "name": "no \"aspect\" \u00e9", "perspective": {"yfov": 0.4, "znear": 1}},
  {"type": "orthographic", "orthographic": {"xmag": 2.0, "ymag": 1.5, "znear": 0.1, "zfar": 50}}]})";

TEST(GltfCameras, ReadsEachLensAsTheFileStatesIt) {
  for (const std::string& bytes : {kCameras, glb(kCameras), "\xEF\xBB\xBF" + kCameras}) {
    const auto cameras = read(bytes);
    ASSERT_TRUE(cameras.has_value());
    ASSERT_EQ(cameras->size(), 3u);
    EXPECT_FALSE((*cameras)[0].orthographic);
    EXPECT_DOUBLE_EQ((*cameras)[0].yfov, 0.7);
    EXPECT_DOUBLE_EQ((*cameras)[0].aspectRatio, 1.5);
    EXPECT_DOUBLE_EQ((*cameras)[0].zfar, 100);
    EXPECT_DOUBLE_EQ((*cameras)[1].yfov, 0.4);
    EXPECT_DOUBLE_EQ((*cameras)[1].aspectRatio, 0.0);  // left to the viewport
    EXPECT_DOUBLE_EQ((*cameras)[1].zfar, 0.0);         // infinite
    EXPECT_TRUE((*cameras)[2].orthographic);
    EXPECT_DOUBLE_EQ((*cameras)[2].xmag, 2.0);
    EXPECT_DOUBLE_EQ((*cameras)[2].ymag, 1.5);
  }
}

TEST(GltfCameras, AFileWithoutCamerasHasNone) {
  const auto cameras = read(R"({"asset": {"version": "2.0"}, "nodes": [{"name": "a"}]})");
  ASSERT_TRUE(cameras.has_value());
  EXPECT_TRUE(cameras->empty());
}

TEST(GltfCameras, WhatIsNoGltfDocumentGivesNothing) {
  std::string deep;
  for (int i = 0; i < 100; ++i) deep += "[";
  const std::string shortGlb = glb(kCameras).substr(0, 30);
  for (const std::string& bytes : {std::string(), std::string("not json"), kCameras.substr(0, kCameras.size() - 3),
                                   std::string("[1, 2]"), std::string(R"({"a": 1} trailing)"), deep, shortGlb,
                                   std::string(R"({"cameras": [{"perspective": {"yfov": 1e99999}}]})")})
    EXPECT_FALSE(read(bytes).has_value()) << bytes.substr(0, 40);
}

}  // namespace
