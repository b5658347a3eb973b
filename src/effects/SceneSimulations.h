#pragma once
// Scene effects that hang a simulation into their scene when it loads:
//   Metaballs   the metaballs surface ("HelloKitty") under the node "Dummy01"
//   BoidScene   the flock ("Boids01") of clones of "Box04" around "Sphere01"–"Sphere07",
//               followed by the camera "TrackCam"
//   SmokeCube   the smoke object ("Smoke01") inside "smokebox00", with a block to put in
//               its way
//   SmokeScene  the corner-jet smoke under "Box01", seen from "Camera02"
// Each looks its object up by name before adding one, so loading a scene again (a reload
// takes it from the scene cache) finds what the first load added.
//
// Index: [SECTION] Metaballs · BoidScene · SmokeCube · SmokeScene

#include <memory>

#include "effects/Effect3D.h"

class BoidObject;
class Camera;
class MarchingCubes;
class SceneObject;
class SmokeObject;

// [SECTION] Metaballs

class Metaballs : public Effect3D {
 public:
  explicit Metaballs(const std::string& name);
  ~Metaballs() override;
  bool loadScene(const std::string& fileName) override;
  void render(uint32_t time) override;

  // The surface drawn in the scene (this effect's own, or the one an earlier load added).
  MarchingCubes* surface() const { return inScene; }

 private:
  std::unique_ptr<MarchingCubes> own;  // until the scene takes it
  MarchingCubes* inScene = nullptr;
};

// [SECTION] BoidScene

class BoidScene : public Effect3D {
 public:
  static constexpr int32_t kPinLeader = 60;

  explicit BoidScene(const std::string& name);
  void start(uint32_t time) override;
  void handleEvent(const TimelineEvent& event) override;
  bool loadScene(const std::string& fileName) override;
  void render(uint32_t time) override;
  // The flock steps while it is drawn; only a load puts it back (a start keeps it flying).
  DrawingMemory drawingMemory() const override { return DrawingMemory::SinceLoad; }

  BoidObject* flock() const { return boids; }
  bool leaderPinned() const { return pinLeader; }

 private:
  BoidObject* boids = nullptr;
  ::Camera* trackCamera = nullptr;
  SceneObject* trackTarget = nullptr;
  uint32_t startedAt = 0;
  bool pinLeader = false;
};

// [SECTION] SmokeCube

class SmokeCube : public Effect3D {
 public:
  static constexpr int32_t kObstacle = 61;

  explicit SmokeCube(const std::string& name);
  void handleEvent(const TimelineEvent& event) override;
  bool loadScene(const std::string& fileName) override;
  void render(uint32_t time) override;
  // The smoke steps while it is drawn; only a load clears it.
  DrawingMemory drawingMemory() const override { return DrawingMemory::SinceLoad; }

  SmokeObject* smoke() const { return smokeObject; }

 private:
  SmokeObject* smokeObject = nullptr;
};

// [SECTION] SmokeScene

class SmokeScene : public Effect3D {
 public:
  explicit SmokeScene(const std::string& name);
  void start(uint32_t time) override;
  bool loadScene(const std::string& fileName) override;
  void render(uint32_t time) override;
  // The jet steps while it is drawn; only a load clears it (a start only restarts its clock).
  DrawingMemory drawingMemory() const override { return DrawingMemory::SinceLoad; }

  SmokeObject* smoke() const { return smokeObject; }

 private:
  SmokeObject* smokeObject = nullptr;
  uint32_t startedAt = 0;
};
