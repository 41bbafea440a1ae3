// The controller's one-shot commands: ask running controllers to end, report
// the state of each bitness, and the profile steps the installer runs.
#pragma once

namespace controller {

// --unhook: every running controller, of both bitnesses, removes its hook and ends.
int RequestUnhook();
// --status: for each bitness of the system, whether the hook is in, which
// profile the module uses and which hosts it lists.
int ReportStatus();
// --release NAME | all: lifts the quarantine and clears the incidents of a
// program, or of every program.
int ReleaseQuarantine(const char* pszWhat);
// --install-profile: the default profile becomes the profile unless there is one.
int InstallDefaultProfile();
// --remove-default-profile: the profile goes only while it still is the default.
int RemoveDefaultProfile();

}  // namespace controller
