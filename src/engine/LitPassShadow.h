#pragma once
// The spot shadow taken in the lit pass itself, instead of drawing the receivers a second
// time in the apply pass (SceneRenderer.cpp). On a texture unit that the mesh's material
// leaves free, the shadow map is compared at the eye-linear coordinates of the shadow
// texture matrix; that stage passes the colour on and puts
//
//   keeps + (1 − keeps) × lit        (keeps: what a shadowed pixel keeps, lit 0…1)
//
// into the fragment's alpha, and the blend (SRC_ALPHA, ZERO) multiplies the finished colour
// by it, fog and specular included: what the apply pass's (ONE, SRC_ALPHA) blend does to the
// pixel afterwards. The pictures agree within rounding (one level).
//
// A mesh is served when it receives the shadow, draws with the fixed-function stages (no
// programs: they replace the stages and the texture coordinate generation), its material
// does not need its alpha (no blending, transparency or alpha test) and leaves a unit free.
// The others are counted for the apply pass, which then draws only them.
//
// The stage computes a × b + c (GL_ATI_texture_env_combine3); without that extension no
// mesh is served.
//
// One stage is in effect at a time, from construction to destruction, around the draws of
// a pass; meshes reach it through active().

#include <epoxy/gl.h>

#include "base/Math.h"

class Material;

class LitPassShadow {
 public:
  // Whether the driver can serve meshes at all.
  static bool available();
  // The stage in effect for the meshes being drawn, or null.
  static LitPassShadow* active();

  // Must be made while the camera's modelview is current: the planes of the shadow texture
  // matrix go to every unit now, in eye space, and the material state pushed later brings
  // them back. The texture is the shadow map's depth texture, prepared for comparison.
  LitPassShadow(const glm::mat4& shadowTexMatrix, GLuint depthTexture, float keeps);
  ~LitPassShadow();
  LitPassShadow(const LitPassShadow&) = delete;
  LitPassShadow& operator=(const LitPassShadow&) = delete;

  // Called by a mesh after its material is in effect (`applied`: it was applied just now,
  // so whatever the stage had set went with the previous material). Switches the stage on
  // for a receiver it can serve and off otherwise; true when the mesh's shadow is drawn
  // with it. A receiver it cannot serve is left for the apply pass.
  bool serve(const Material& material, bool applied, bool receiver, bool fixedFunction);
  // A receiver drawn by its programs, left for the apply pass.
  void leaveForApplyPass() { ++left; }
  // Switches the stage off for a draw that bypasses the fixed-function stages; the caller
  // has saved the enable state and restores it afterwards.
  void suspend() const;
  // Switches the stage off entirely (coordinate generation too) before an object that
  // draws its own way, and forgets what it had set up: after such a draw the state is not
  // known, and the next mesh sets the stage up again.
  void standAside();
  void forget() { prepared = nullptr; }

  // Receivers the apply pass must still draw.
  int receiversLeft() const { return left; }

 private:
  // The unit a material leaves free, or −1 when it cannot be served.
  int freeUnit(const Material& material) const;
  void prepare(int unit);
  void switchOn(bool on);

  GLuint depthTexture;
  float keeps;
  int units;                           // fixed-function texture units
  const Material* prepared = nullptr;  // the material in effect the stage is set up in
  int unit = -1;                       // its unit, −1 when it cannot be served
  bool on = false;
  int left = 0;
  LitPassShadow* previous;
};
