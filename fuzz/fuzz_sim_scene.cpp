// The virtual camera's scene files: "image:" pictures (PPM or PNG) and "raw:"
// sample files, rendered through a small window in both depths. The first
// byte chooses the kind and the window; the rest is the file.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "FuzzFile.h"
#include "device/sim/SimFrameGenerator.h"
#include "device/sim/SimFrameLayout.h"
#include "device/sim/SimPicture.h"
#include "tests/fakes/FakeSensorView.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1) return 0;
  const uint8_t control = data[0];
  const std::string &path = quorel::fuzz::WriteScratch(data + 1, size - 1, ".scene");
  quorel::sim::SimPicture picture;
  std::string error;
  quorel::sim::LoadSimPicture(path, &picture, &error);

  quorel::sim::SimSceneSettings scene;
  scene.kind = (control & 1) != 0 ? quorel::sim::SceneKind::kRaw : quorel::sim::SceneKind::kImage;
  scene.file = path;
  quorel::sim::SimFrameGenerator generator(scene);
  quorel::test::FakeSensorView view;
  const int width = 8 + 8 * ((control >> 1) & 7);
  const int height = 4 + 4 * ((control >> 4) & 3);
  view.SetWindow(2 * (control >> 6), 0, width, height, 0);
  view.SetDepth16((control & 0x80) != 0);
  std::vector<uint8_t> out(quorel::sim::ProgrammedTransferBytes(view));
  generator.Render(view, 0, out.data(), out.size(), &error);
  return 0;
}
