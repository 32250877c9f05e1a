#pragma once
// The running process and the programs and documents it starts.

#include <string>
#include <string_view>

namespace platform {

int processId();
// The normal priority class: the process runs at the default scheduling priority.
bool setPriorityNormal();
// The arguments after the program name, joined by single blanks, as the system hands a program its
// command line.
std::string commandLine();

enum class ShowMode { Hidden, Normal };

// The shell's "open" action: a program (a file the host may run; "loader.exe" also finds "loader") is
// started with the parameters, split at blanks outside double quotes, in the working folder (empty: its
// own folder); a document is handed to the desktop's opener. The started program learns the show mode
// from WAVEDESK_SHOW ("hidden" or "normal"). Does not wait. Like the system, the result is above 32 on
// success and a small error number otherwise: 2 file not found, 3 path not found, 5 access denied,
// 31 no program to open the document with.
int shellOpen(std::string_view file, std::string_view parameters, std::string_view workingFolder, ShowMode show);

}  // namespace platform
