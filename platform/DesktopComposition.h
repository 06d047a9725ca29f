#pragma once

// Whether the desktop blends translucent windows with what lies beneath them. Without a
// compositing manager an X11 desktop shows the transparent parts of a window as black, so
// windows that draw their own soft shadow have to shape themselves to their opaque part.
namespace DesktopComposition {

bool composesTranslucentWindows();

} // namespace DesktopComposition
