// The viewer's test hook: a script of actions (--script FILE) that the running
// application performs one after another, each waiting for its result, so
// that tests drive the real windows without timing guesses. One command per
// line, words separated by blanks, '#' starts a comment:
//
//   wait-frames N          wait until N more frames have arrived
//   start | stop | snapshot | trigger | fire-trigger | refresh
//   zoom fit|100           mode BITS           exposure MS
//   subsample CODE         0, 1, 2, 17 or 18
//   channel blue|green|red|gray                scale linear|log
//   resize WIDTH HEIGHT    key space|s|r|f
//   dialog camera|image|analog PATH   open one of the library's dialogs, take a
//                          screenshot of it into PATH ("-": none), close it
//   save PATH TYPE         TYPE: bmp raw jpeg100 jpeg70 jpeg20 png tiff
//   record PATH MS         record MS milliseconds and wait for the file
//   unplug UNIT | plug UNIT      the virtual camera's unit
//   wait-error CODE        wait until the error panel shows CODE
//   screenshot PATH        the window as PNG
//   report PATH            what the viewer shows, as key=value lines
//   quit
#pragma once

#include <string>
#include <vector>

namespace quorel::viewer {

struct ScriptCommand {
  std::string name;
  std::vector<std::string> args;
  int line = 0;
};

// Parses a script; false with "line N: reason" in *error for an unknown
// command or a wrong number of arguments.
bool ParseViewerScript(const std::string &text, std::vector<ScriptCommand> &out, std::string *error);

// File type code of Quorel_SaveImage for a script's type name; -1 if unknown.
int SaveTypeFromName(const std::string &name);

}  // namespace quorel::viewer
