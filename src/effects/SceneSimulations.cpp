#include "effects/SceneSimulations.h"

#include <cmath>
#include <string>

#include "base/Error.h"
#include "effects/Boids.h"
#include "effects/MarchingCubes.h"
#include "effects/Smoke.h"
#include "engine/Scene.h"

namespace {

class SetChildrenInherit : public SceneVisitor {
 public:
  void visit(SceneObject& object) override { object.childrenInherit = true; }
};

class Hide : public SceneVisitor {
 public:
  void visit(SceneObject& object) override { object.visible = false; }
};

// `node` and everything below it (not its siblings).
void inheritBelow(SceneObject& node) {
  SetChildrenInherit visitor;
  node.accept(visitor, true, false);
}

void setCameraFov(Scene& scene, const std::string& name, float degrees) {
  if (Camera* camera = scene.findCamera(name)) camera->fovY = degrees;
}

}  // namespace

// [SECTION] Metaballs

namespace {
constexpr const char* kIsoModule = "effects/IsoEffect3d";
}

Metaballs::Metaballs(const std::string& name) : Effect3D(name), own(std::make_unique<MarchingCubes>()) {}

Metaballs::~Metaballs() = default;

bool Metaballs::loadScene(const std::string& fileName) {
  const bool loaded = Effect3D::loadScene(fileName);
  if (!loaded || !scene) return loaded;
  SceneObject* dummy = scene->findObject("Dummy01");
  assertTrue(dummy != nullptr, kIsoModule, __LINE__);  // the scene has no node "Dummy01" to hang the surface on
  if (!dummy) return false;
  if (auto* earlier = dynamic_cast<MarchingCubes*>(scene->findObject("HelloKitty"))) {
    inScene = earlier;
  } else if (own) {
    inScene = scene->addObject(std::move(own), dummy->id);
  }
  return true;
}

void Metaballs::render(uint32_t time) {
  if (!scene) return;
  scene->setDemoTime(time);
  scene->setTime(static_cast<float>(timeOffset) + sceneClock);
  if (inScene) inScene->setScale(glm::vec3(2.0f));
  scene->animate();
  scene->updateTransforms();
  scene->render();
}

// [SECTION] BoidScene

namespace {
constexpr const char* kBoidSceneModule = "effects/BoidScene";
constexpr int kTrackCameraId = 1337533;
constexpr int kTrackTargetId = 1332323;
}  // namespace

BoidScene::BoidScene(const std::string& name) : Effect3D(name) {
  registerEvent(kPinLeader, "PIN_LEADER", "the leading boid stays put while value > 0");
}

void BoidScene::start(uint32_t time) {
  Effect3D::start(time);
  startedAt = time;
  pinLeader = false;
}

void BoidScene::handleEvent(const TimelineEvent& event) {
  Effect3D::handleEvent(event);
  if (scene && event.code == kPinLeader) pinLeader = event.value > 0;
}

bool BoidScene::loadScene(const std::string& fileName) {
  const bool loaded = Effect3D::loadScene(fileName);
  if (!loaded || !scene) return loaded;
  if (auto* earlier = dynamic_cast<BoidObject*>(scene->findObject("Boids01"))) {
    boids = earlier;
    trackCamera = scene->findCamera("TrackCam");
    trackTarget = scene->findObject("TrackTarget");
  } else {
    SceneObject* globe = scene->findObject("GeoSphere01");
    assertTrue(globe != nullptr, kBoidSceneModule, __LINE__);  // no node "GeoSphere01" for the flock
    if (!globe) return false;
    boids = scene->addObject(std::make_unique<BoidObject>("Boids01"), globe->id);
    boids->attachBirds(*scene);
    SceneObject* bird = scene->findObject("Box04");
    assertTrue(bird != nullptr, kBoidSceneModule, __LINE__);  // no bird "Box04" to hide
    if (bird) {
      Hide hide;
      bird->accept(hide, true, false);
    }
    trackCamera = scene->addCamera(std::make_unique<::Camera>(kTrackCameraId, "TrackCam"), -1);
    trackTarget = scene->addObject(std::make_unique<SceneObject>(kTrackTargetId, "TrackTarget"), -1);
    trackCamera->target = trackTarget;
    trackCamera->targetId = trackTarget->id;
  }
  // The script picks the follow camera by name like the scene's own cameras.
  if (trackCamera && findString(1000, "TrackCam") == 0 && getString(1000, 0) != "TrackCam") {
    addString(1000, "TrackCam");
    Camera.choiceCount = static_cast<uint32_t>(scene->cameraCount());
  }
  boids->reset();
  for (int k = 1; k <= BoidObject::kObstacleCount; ++k) {
    SceneObject* sphere = scene->findObject("Sphere0" + std::to_string(k));
    assertTrue(sphere != nullptr, kBoidSceneModule, __LINE__);  // an obstacle "Sphere0k" is missing
    if (!sphere) continue;
    boids->obstacles[size_t(k - 1)] = sphere->getPosition();
    sphere->visible = false;
  }
  return true;
}

void BoidScene::render(uint32_t time) {
  if (!scene || !boids) return;
  // Before the start (a seek back) the flock waits at its own time 0.
  const uint32_t elapsed = time >= startedAt ? time - startedAt : 0;
  boids->setCurrentTime(elapsed);
  BoidObject::Boid& lead = boids->boids[0];
  if (pinLeader) {
    lead.position = glm::vec3(-0.77f, 62.6f, 27.3f);
    lead.velocity = glm::vec3(0, -1, 0);
    lead.phase = 0;
  }
  if (trackTarget) trackTarget->setPosition(lead.position);
  const float k = std::sin(static_cast<float>(elapsed * 0.005) * 0.025f - 1.570796325f) * 0.5f + 1.6f;
  if (trackCamera) trackCamera->setPosition(lead.position * k);
  Effect3D::render(time);
}

// [SECTION] SmokeCube

namespace {
constexpr const char* kSmokeCubeModule = "effects/SmokeCube";
constexpr const char* kSmokeSceneModule = "effects/SmokeScene";
}  // namespace

SmokeCube::SmokeCube(const std::string& name) : Effect3D(name) {
  registerEvent(kObstacle, "BLOCK", "the obstacle blocks the flow while value > 0");
}

bool SmokeCube::loadScene(const std::string& fileName) {
  const bool loaded = Effect3D::loadScene(fileName);
  if (!loaded || !scene) return loaded;
  SceneObject* box = scene->findObject("smokebox00");
  assertTrue(box != nullptr, kSmokeCubeModule, __LINE__);  // no node "smokebox00" for the smoke
  if (!box) return false;
  smokeObject = dynamic_cast<SmokeObject*>(scene->findObject("Smoke01"));
  if (!smokeObject) smokeObject = scene->addObject(std::make_unique<SmokeObject>("Smoke01", 20), box->id);
  inheritBelow(*box);
  setCameraFov(*scene, "Camera01", 45);
  smokeObject->reset();
  return true;
}

void SmokeCube::handleEvent(const TimelineEvent& event) {
  Effect3D::handleEvent(event);
  if (scene && smokeObject && event.code == kObstacle) smokeObject->setObstacle(event.value > 0);
}

void SmokeCube::render(uint32_t time) {
  if (!scene) return;
  if (smokeObject) {
    smokeObject->setCurrentTime(time);
    smokeObject->setScale(glm::vec3(200.0f));
    smokeObject->setRotationDegrees(0, 90, -90);
  }
  Effect3D::render(time);
}

// [SECTION] SmokeScene

SmokeScene::SmokeScene(const std::string& name) : Effect3D(name) {}

void SmokeScene::start(uint32_t time) {
  Effect3D::start(time);
  startedAt = time;
}

bool SmokeScene::loadScene(const std::string& fileName) {
  const bool loaded = Effect3D::loadScene(fileName);
  if (!loaded || !scene) return loaded;
  SceneObject* box = scene->findObject("Box01");
  assertTrue(box != nullptr, kSmokeSceneModule, __LINE__);  // no box "Box01" for the smoke
  if (!box) return false;
  smokeObject = dynamic_cast<SmokeObject*>(scene->findObject("Smoke01"));
  if (!smokeObject) smokeObject = scene->addObject(std::make_unique<SmokeJetObject>("Smoke01", 22), box->id);
  inheritBelow(*box);
  box->visible = false;
  setCameraFov(*scene, "Camera01", 45);
  smokeObject->reset();
  smokeObject->setViscosity(0.0005f);
  return true;
}

void SmokeScene::render(uint32_t time) {
  if (!scene) return;
  const uint32_t elapsed = time >= startedAt ? time - startedAt : 0;
  scene->setActiveCamera("Camera02");
  if (smokeObject) {
    smokeObject->setRotationDegrees(90, 0, 0);
    smokeObject->setScale(glm::vec3(85.0f));
    smokeObject->setCurrentTime(elapsed);
  }
  Effect3D::render(elapsed);
}
