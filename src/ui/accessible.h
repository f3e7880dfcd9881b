// What assistive technology (a screen reader) is shown of the game window:
// the controls in reading order without the decoration, and a clock that
// is read when asked instead of announcing every second.
#pragma once

namespace segni::ui {

// Installs the window's own accessibility interfaces; once is enough.
void installAccessibility();

} // namespace segni::ui
