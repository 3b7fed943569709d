#pragma once
// A developer's aid for the documentation pictures: with TAPELOOM_SCREENSHOTS set to a folder,
// the program adds the snapshots listed in TAPELOOM_SCREENSHOT_SNAPSHOTS (separated by ':'),
// saves pictures of the main window, the settings dialog and the About box there, and ends.
class TForm1;

// The program's exit code when pictures were asked for, -1 otherwise.
int takeScreenshotsIfAsked(TForm1& main);
