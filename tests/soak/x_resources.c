// Prints the X resources held by the client that owns the window of class
// "Kivo" (or the class given as the only argument), counted by type, as one
// line the soak scripts compare:
//   windows=N pixmaps=N gcs=N fonts=N glyphsets=N pictures=N other=N pixmap_bytes=N
// The X server counts what the client holds, so a leak of any kind shows here
// whether or not the program itself keeps track of it.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XRes.h>
#include <stdio.h>
#include <string.h>

static int has_class(Display* display, Window window, const char* wanted) {
  XClassHint hint;
  int same = 0;
  if (!XGetClassHint(display, window, &hint)) return 0;
  same = hint.res_class && strcmp(hint.res_class, wanted) == 0;
  if (hint.res_name) XFree(hint.res_name);
  if (hint.res_class) XFree(hint.res_class);
  return same;
}

// Depth first under the root: with a window manager, the client's window
// sits inside a frame of the manager's.
static Window find_class(Display* display, Window under, const char* wanted, int depth) {
  Window root, parent, *children = NULL, found = 0;
  unsigned int count = 0, i;
  if (!XQueryTree(display, under, &root, &parent, &children, &count)) return 0;
  for (i = 0; i < count && !found; ++i) {
    if (has_class(display, children[i], wanted)) found = children[i];
  }
  for (i = 0; i < count && !found && depth < 3; ++i) {
    found = find_class(display, children[i], wanted, depth + 1);
  }
  if (children) XFree(children);
  return found;
}

int main(int argc, char** argv) {
  const char* wanted = argc > 1 ? argv[1] : "Kivo";
  Display* display = XOpenDisplay(NULL);
  int event_base, error_base, num_clients = 0, num_types = 0, i;
  XResClient* clients = NULL;
  XResType* types = NULL;
  XID base = 0;
  Window window;
  unsigned long pixmap_bytes = 0;
  long windows = 0, pixmaps = 0, gcs = 0, fonts = 0, glyphsets = 0, pictures = 0, other = 0;

  if (!display) {
    fprintf(stderr, "x_resources: cannot open the display\n");
    return 2;
  }
  if (!XResQueryExtension(display, &event_base, &error_base)) {
    fprintf(stderr, "x_resources: the server has no X-Resource extension\n");
    return 2;
  }
  window = find_class(display, DefaultRootWindow(display), wanted, 0);
  if (!window) {
    fprintf(stderr, "x_resources: no window of class %s\n", wanted);
    return 1;
  }
  // Both queries return a Status: zero when the server gave no reply.
  if (!XResQueryClients(display, &num_clients, &clients)) return 2;
  for (i = 0; i < num_clients; ++i) {
    if ((window & ~clients[i].resource_mask) == clients[i].resource_base) {
      base = clients[i].resource_base;
    }
  }
  if (clients) XFree(clients);
  if (!base) {
    fprintf(stderr, "x_resources: no client owns window 0x%lx\n", window);
    return 1;
  }
  if (!XResQueryClientResources(display, base, &num_types, &types)) return 2;
  for (i = 0; i < num_types; ++i) {
    char* name = XGetAtomName(display, types[i].resource_type);
    long count = (long)types[i].count;
    if (!name) {
      other += count;
      continue;
    }
    if (strcmp(name, "WINDOW") == 0)
      windows += count;
    else if (strcmp(name, "PIXMAP") == 0)
      pixmaps += count;
    else if (strcmp(name, "GC") == 0)
      gcs += count;
    else if (strcmp(name, "FONT") == 0)
      fonts += count;
    else if (strcmp(name, "GLYPHSET") == 0)
      glyphsets += count;
    else if (strcmp(name, "PICTURE") == 0)
      pictures += count;
    else
      other += count;
    XFree(name);
  }
  if (types) XFree(types);
  XResQueryClientPixmapBytes(display, base, &pixmap_bytes);
  printf(
      "windows=%ld pixmaps=%ld gcs=%ld fonts=%ld glyphsets=%ld pictures=%ld other=%ld "
      "pixmap_bytes=%lu\n",
      windows, pixmaps, gcs, fonts, glyphsets, pictures, other, pixmap_bytes);
  XCloseDisplay(display);
  return 0;
}
