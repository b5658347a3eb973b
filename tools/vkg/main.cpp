// vkg: the scene files of the demo engine.
//   vkg info FILE.vkg                       what the file holds, as a tree
//   vkg convert IN OUT.vkg [options]        a model from a modelling tool as a scene

#include <CLI/CLI.hpp>

#include "Vkg.h"
#include "version/Version.h"

int main(int argc, char** argv) {
  CLI::App app{"The demo engine's scene files (.vkg): inspect them, make them from common 3D formats"};
  app.require_subcommand(1);
  app.set_version_flag("--version", versionText("vkg"), "Print the version and exit");

  std::string infoFile;
  CLI::App* info = app.add_subcommand("info", "Print the header and every record of FILE as a tree");
  info->add_option("FILE", infoFile, "A .vkg scene file")->required();

  std::string input, output, textures;
  modelimport::ConvertOptions options;
  CLI::App* convert = app.add_subcommand(
      "convert", "Convert a model (glTF 2.0 .gltf/.glb, OBJ, FBX, COLLADA .dae, 3DS, ...) into a .vkg scene that "
                 "plays lit, framed and textured");
  convert->add_option("IN", input, "The model file")->required();
  convert->add_option("OUT", output, "The .vkg file to write")->required();
  convert->add_option("--fps", options.fps, "Animation keys per second (default 25)")->check(CLI::Range(1, 1000));
  CLI::Option* fit = convert->add_option("--fit", options.fit,
                                         "Scale the model so that the largest side of its bounding box is SIZE units")
                         ->type_name("SIZE")
                         ->check(CLI::PositiveNumber);
  convert->add_option("--scale", options.scale, "Scale of the whole model (default 1)")
      ->check(CLI::PositiveNumber)
      ->excludes(fit);
  convert->add_option("--textures", textures,
                      "Where the pictures go (default: data/textures/ of the tree when OUT is in data/scenes/, "
                      "else beside OUT)")
      ->type_name("DIR");
  convert->add_option("--shadow-light", options.shadowLight,
                      "Also write a targeted light at light NAME's place, aimed where it aims, for spot shadows")
      ->type_name("NAME");

  CLI11_PARSE(app, argc, argv);
  if (info->parsed()) return printInfo(infoFile, stdout);
  return convertModel(input, output, textures, options, stdout);
}
