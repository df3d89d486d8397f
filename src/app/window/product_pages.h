// The program's two web addresses (the credit link's and the web view's start page) and the
// resources they point at, and how the credit link hands its address to the desktop.
#pragma once

#include <QUrl>

namespace quillrank {

class Desktop;

// Until the project has a web site of its own, both point at a page shipped inside the
// program, so the link and the web view work offline. What the credit link `联系作者` opens:
inline constexpr char kMakerHomeAddress[] = "qrc:/quillrank/product.html#maker";
// What the web view `超文本浏览框1` shows from start-up on:
inline constexpr char kProductPageAddress[] = "qrc:/quillrank/product.html";

// Registers the program's resources (icon, product page). Safe to call more than once.
void load_window_resources();

// Opens `address` with the desktop's default handler. A page shipped inside the program is
// first copied to the user's private runtime folder, since no other program can read the
// program's resources. False when the page could not be copied or the desktop could not open it.
bool open_with_desktop(Desktop& desktop, const QUrl& address);

}  // namespace quillrank
