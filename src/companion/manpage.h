// Plain-text rendering of the manual pages, so that one source serves both
// `man` and a tool's --help. Understands the small set of requests the
// pages use: .TH .SH .SS .PP .LP .TP .IP .RS .RE .nf .fi .br, the fonts
// \fB \fI \fR \fP, and the escapes \- \e \(bu \& and comments.
#pragma once

#include <string>

namespace qev::companion {

std::string RenderManPage(const std::string& source);

}  // namespace qev::companion
