#pragma once
// The viewer's files, built into the program from page/ (cmake/Embed.cmake).

namespace qm::share {

extern const char kViewerHtml[];  // page/viewer.html: the page, with marks where the rest goes
extern const char kViewerCss[];   // page/viewer.css
extern const char kViewerJs[];    // page/viewer.js: unpacking, drawing (WebGL2) and the controls

}  // namespace qm::share
