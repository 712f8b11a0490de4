#include "platform/linux/x11/window_manager.h"

#include <FL/Fl.H>
#include <FL/Fl_Window.H>
#include <FL/x.H>
#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <cstring>

#include "platform/linux/x11/x11_session.h"

// FLTK's switch for the transient hint it gives every modal window.
extern int fl_disable_transient_for;

namespace {

// The last active window that was not one of ours. A manager that focuses a
// clicked window whatever its input hint (i3) makes the strip the active
// window; a dialog opened from its menu then gives the keyboard back to this.
Window lastOtherActive = None;

Window activeWindow() {
  Atom type = None;
  int format = 0;
  unsigned long count = 0, remaining = 0;
  unsigned char* data = nullptr;
  Window active = None;
  if (XGetWindowProperty(fl_display, x11Root(), x11Atom(NET_ACTIVE_WINDOW), 0, 1, False, XA_WINDOW,
                         &type, &format, &count, &remaining, &data) == Success &&
      type == XA_WINDOW && count == 1) {
    active = static_cast<Window>(*reinterpret_cast<unsigned long*>(data));
  }
  if (data) XFree(data);
  return active;
}

void noteActiveWindow() {
  const Window active = activeWindow();
  if (active != None && !fl_find(active)) lastOtherActive = active;
}

// FLTK already listens to the root window's properties (for the work area).
int watchActiveWindow(void* event, void*) {
  const auto* xevent = static_cast<const XEvent*>(event);
  if (xevent->type == PropertyNotify && xevent->xproperty.window == x11Root() &&
      xevent->xproperty.atom == x11Atom(NET_ACTIVE_WINDOW)) {
    noteActiveWindow();
  }
  return 0;
}

// Watching starts before our first window maps, while the active window is
// still another program's.
void watchActiveWindowFromNowOn() {
  static bool watching = false;
  if (watching) return;
  watching = true;
  noteActiveWindow();
  Fl::add_system_handler(watchActiveWindow, nullptr);
}

// A dialog that is no transient still floats as one: a tiling manager would
// give a normal window a tile.
void describeDialog(Window xid) {
  const Atom dialog = x11Atom(NET_WM_WINDOW_TYPE_DIALOG);
  XChangeProperty(fl_display, xid, x11Atom(NET_WM_WINDOW_TYPE), XA_ATOM, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(&dialog), 1);
}

// How far a span must move to lie inside [low, high): its start wins when it
// does not fit.
int shiftInto(int start, int length, int low, int high) {
  if (start + length > high) return std::max(high - length, low) - start;
  return start < low ? low - start : 0;
}

}  // namespace

bool x11WindowManagerRunning() {
  Atom type = None;
  int format = 0;
  unsigned long count = 0, remaining = 0;
  unsigned char* data = nullptr;
  const int status =
      XGetWindowProperty(fl_display, x11Root(), x11Atom(NET_SUPPORTING_WM_CHECK), 0, 1, False,
                         XA_WINDOW, &type, &format, &count, &remaining, &data);
  const bool running = status == Success && type == XA_WINDOW && count == 1;
  if (data) XFree(data);
  return running;
}

void x11SendToWindowManager(Window window, Atom messageType, long first, long second, long third,
                            long fourth) {
  XEvent event;
  std::memset(&event, 0, sizeof event);
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = messageType;
  event.xclient.format = 32;
  event.xclient.data.l[0] = first;
  event.xclient.data.l[1] = second;
  event.xclient.data.l[2] = third;
  event.xclient.data.l[3] = fourth;
  XSendEvent(fl_display, x11Root(), False, SubstructureRedirectMask | SubstructureNotifyMask,
             &event);
}

void x11SendWmState(Window window, bool add, Atom first, Atom second) {
  // The last 1: a normal application asks.
  x11SendToWindowManager(window, x11Atom(NET_WM_STATE), add ? 1 : 0, static_cast<long>(first),
                         static_cast<long>(second), 1);
}

void x11ShowDescribed(Fl_Window* window, void (*describe)(Window, void*), void* context) {
  watchActiveWindowFromNowOn();
  const bool managed = x11WindowManagerRunning();
  // FLTK makes a modal window transient for the first window shown, the
  // strip, and managers put a transient on every workspace its main window is
  // on (metacity even takes the strip off the others as it activates the
  // dialog). A dialog says what it is instead and stays where it opened.
  fl_disable_transient_for = 1;
  if (managed) XGrabServer(fl_display);
  window->show();
  if (window->non_modal()) describeDialog(fl_xid(window));
  describe(fl_xid(window), context);
  if (managed) XUngrabServer(fl_display);
  XFlush(fl_display);
}

void x11DescribeToolWindow(Window xid) {
  const Atom utility = x11Atom(NET_WM_WINDOW_TYPE_UTILITY);
  XChangeProperty(fl_display, xid, x11Atom(NET_WM_WINDOW_TYPE), XA_ATOM, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(&utility), 1);
  // Every workspace: a manager reads this as the window maps, and one that
  // never looks at the sticky state still keeps the strip on each desktop.
  const long allDesktops = 0xFFFFFFFF;
  XChangeProperty(fl_display, xid, x11Atom(NET_WM_DESKTOP), XA_CARDINAL, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(&allDesktops), 1);
  // The input hint alone keeps the keyboard where it is. A user time of 0
  // would ask not to be activated, and kwin, refusing what it was asked, flags
  // the window as demanding attention.
  XWMHints* hints = XGetWMHints(fl_display, xid);
  XWMHints noInput{};
  XWMHints* target = hints ? hints : &noInput;
  target->flags |= InputHint;
  target->input = False;
  XSetWMHints(fl_display, xid, target);
  if (hints) XFree(hints);
}

void x11SetPlacementHints(Window xid, int x, int y, int width, int height, bool frameCorner) {
  XSizeHints hints{};
  long supplied = 0;
  // FLTK's own limits (a dialog's fixed size) stay as they are.
  XGetWMNormalHints(fl_display, xid, &hints, &supplied);
  hints.flags |= USPosition | USSize | PPosition | PSize | PWinGravity;
  hints.x = x;
  hints.y = y;
  hints.width = width > 0 ? width : 1;
  hints.height = height > 0 ? height : 1;
  hints.win_gravity = frameCorner ? NorthWestGravity : StaticGravity;
  XSetWMNormalHints(fl_display, xid, &hints);
}

void x11KeepFrameOnScreen(Window xid, const int work[4]) {
  Window frame = xid, root = None, parent = None, *children = nullptr;
  unsigned int count = 0;
  while (XQueryTree(fl_display, frame, &root, &parent, &children, &count)) {
    if (children) XFree(children);
    if (parent == root || parent == None) break;
    frame = parent;
  }
  XWindowAttributes framed{};
  int clientX = 0, clientY = 0;
  Window child = None;
  if (frame == xid || !XGetWindowAttributes(fl_display, frame, &framed) ||
      !XTranslateCoordinates(fl_display, xid, root, 0, 0, &clientX, &clientY, &child)) {
    return;
  }
  const int outerWidth = framed.width + 2 * framed.border_width;
  const int outerHeight = framed.height + 2 * framed.border_width;
  const int dx = shiftInto(framed.x, outerWidth, work[0], work[0] + work[2]);
  const int dy = shiftInto(framed.y, outerHeight, work[1], work[1] + work[3]);
  if (!dx && !dy) return;
  // A manager that put the frame's corner where the hints asked reads a move
  // the same way; one that did not (i3) moves the window itself.
  XSizeHints hints{};
  long supplied = 0;
  XGetWMNormalHints(fl_display, xid, &hints, &supplied);
  const bool byFrame = (hints.flags & PWinGravity) && hints.win_gravity == NorthWestGravity &&
                       hints.x == framed.x && hints.y == framed.y;
  const int x = (byFrame ? framed.x : clientX) + dx, y = (byFrame ? framed.y : clientY) + dy;
  if (byFrame) {
    hints.x = x;
    hints.y = y;
    XSetWMNormalHints(fl_display, xid, &hints);
  }
  XMoveWindow(fl_display, xid, x, y);
}

Window x11FocusedWindow() {
  watchActiveWindowFromNowOn();
  if (!x11WindowManagerRunning()) {
    Window focus = None;
    int revert = 0;
    XGetInputFocus(fl_display, &focus, &revert);
    return focus == PointerRoot ? None : focus;
  }
  const Window active = activeWindow();
  return active != None && fl_find(active) ? lastOtherActive : active;
}

void x11GiveFocus(Window xid) {
  if (xid == None) return;
  // The window may have gone meanwhile: that is no error worth a word.
  XSync(fl_display, False);
  XErrorHandler previous = XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
  XWindowAttributes attributes{};
  const Status found = XGetWindowAttributes(fl_display, xid, &attributes);
  XSetErrorHandler(previous);
  if (!found) return;
  if (x11WindowManagerRunning()) {
    // Source 2, as a pager asks: managers that keep a newly mapped window
    // from taking the focus still grant this.
    x11SendToWindowManager(xid, x11Atom(NET_ACTIVE_WINDOW), 2, CurrentTime, 0, 0);
  } else if (attributes.map_state == IsViewable) {
    XSetInputFocus(fl_display, xid, RevertToPointerRoot, CurrentTime);
  }
  XFlush(fl_display);
}

void x11SetNames(Window window, const char* utf8Title, const char* className) {
  const int titleLength = static_cast<int>(std::strlen(utf8Title));
  XChangeProperty(fl_display, window, XA_WM_NAME, XA_STRING, 8, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(utf8Title), titleLength);
  XChangeProperty(fl_display, window, x11Atom(NET_WM_NAME), x11Atom(UTF8_STRING), 8,
                  PropModeReplace, reinterpret_cast<const unsigned char*>(utf8Title), titleLength);
  char classHint[2 * 256 + 2];
  const std::size_t length = strnlen(className, 255);
  std::memcpy(classHint, className, length);
  classHint[length] = '\0';
  std::memcpy(classHint + length + 1, className, length);
  classHint[2 * length + 1] = '\0';
  XChangeProperty(fl_display, window, XA_WM_CLASS, XA_STRING, 8, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(classHint),
                  static_cast<int>(2 * length + 2));
}
