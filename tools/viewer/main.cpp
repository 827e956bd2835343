// quorel-viewer: look at a 470KX camera, set it up and grab pictures.
//
//   quorel-viewer [--sim[=CONFIG]] [--device N] [--script FILE]
//
// Exit codes: 0 normal end, 1 a failed script command, 2 usage error or no
// display.
#include <gtk/gtk.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "Language.h"
#include "QuorelSim.h"
#include "ScriptRunner.h"
#include "ViewerScript.h"
#include "ViewerWindow.h"

namespace {

constexpr int kExitUsage = 2;

void PrintUsage(std::FILE *out) {
  std::fprintf(out,
               "usage: quorel-viewer [--sim[=CONFIG]] [--device N] [--script FILE]\n"
               "\n"
               "  --sim[=CONFIG]  use the virtual camera, configured by CONFIG (default \"units=0\"),\n"
               "                  e.g. --sim='units=0,3;scene=chart;fps=sensor'\n"
               "  --device N      open unit N (0..31) instead of the last one used\n"
               "  --script FILE   perform the actions in FILE (for tests; see ViewerScript.h)\n"
               "  --help          this text\n"
               "\n"
               "Keys: space start/stop, S save image, R record, F fit/100 %%.\n"
               "The window size, histogram choice and last unit are kept in\n"
               "$XDG_CONFIG_HOME/quorel/viewer.ini.\n");
}

bool ParseArguments(int argc, char **argv, quorel::viewer::ViewerOptions &options, std::string &script) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--help" || a == "-h") {
      PrintUsage(stdout);
      std::exit(0);
    } else if (a == "--sim") {
      options.sim = true;
    } else if (a.rfind("--sim=", 0) == 0) {
      options.sim = true;
      options.simConfig = a.substr(6);
    } else if ((a == "--device" || a == "--script") && i + 1 < argc) {
      const std::string value = argv[++i];
      if (a == "--script") {
        script = value;
        continue;
      }
      char *end = nullptr;
      const long unit = std::strtol(value.c_str(), &end, 10);
      if (value.empty() || *end != '\0' || unit < 0 || unit > 31) {
        std::fprintf(stderr, "quorel-viewer: --device takes a unit number 0..31, not '%s'\n", value.c_str());
        return false;
      }
      options.device = static_cast<int>(unit);
    } else {
      std::fprintf(stderr, "quorel-viewer: unknown argument '%s'\n", a.c_str());
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char **argv) {
  using namespace quorel::viewer;
  std::setlocale(LC_ALL, "");
  ViewerOptions options;
  std::string scriptPath;
  if (!ParseArguments(argc, argv, options, scriptPath)) {
    PrintUsage(stderr);
    return kExitUsage;
  }
  std::vector<ScriptCommand> script;
  if (!scriptPath.empty()) {
    std::ifstream in(scriptPath);
    std::ostringstream text;
    text << in.rdbuf();
    std::string error;
    if (!in || !ParseViewerScript(text.str(), script, &error)) {
      std::fprintf(stderr, "quorel-viewer: script %s: %s\n", scriptPath.c_str(), in ? error.c_str() : "cannot be read");
      return kExitUsage;
    }
  }
  // The preview window is an X11 child of the viewer's window: the viewer
  // needs X11 too (XWayland on a Wayland desktop).
  gdk_set_allowed_backends("x11");
  if (!gtk_init_check(&argc, &argv)) {
    const char *display = std::getenv("DISPLAY");
    std::fprintf(stderr,
                 "quorel-viewer: cannot open the X display '%s'. Run it in a desktop session, or set DISPLAY "
                 "(for a virtual screen: xvfb-run quorel-viewer --sim).\n",
                 display != nullptr ? display : "");
    return kExitUsage;
  }
  if (options.sim && QuorelSim_Enable(options.simConfig.c_str()) == 0) {
    std::fprintf(stderr, "quorel-viewer: the virtual camera configuration '%s' does not parse\n",
                 options.simConfig.c_str());
    return kExitUsage;
  }
  options.configPath = ViewerConfigPath();
  int status = 0;
  {
    ViewerWindow viewer(options, LanguageFromEnvironment());
    std::unique_ptr<ScriptRunner> runner;
    if (!script.empty()) {
      runner = std::make_unique<ScriptRunner>(viewer, std::move(script));
      runner->Start();
    }
    gtk_main();
    if (runner) status = runner->exitStatus();
  }
  return status;
}
