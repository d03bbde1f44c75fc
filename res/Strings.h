// The string table of the desktop program, and the texts that more than one of its dialogs
// shows. A text only one dialog shows lives beside that dialog's code.
#pragma once

namespace res {

inline constexpr int IDS_ABOUTBOX = 101;

// The string with that ID, or an empty string when there is none.
const char* LoadResourceString(int id);

// The launcher's caption, and the caption of every message box of the drive tool and the ROM
// attach dialog.
inline constexpr const char* kProgramCaption = "Kivo FS Utils";
// Both tools show it for a file they cannot open.
inline constexpr const char* kCouldNotOpenFile = "Error could't open file";
// The title of both tools' pickers for an output file, although they are open pickers.
inline constexpr const char* kSaveAsTitle = "Save As";

}  // namespace res
