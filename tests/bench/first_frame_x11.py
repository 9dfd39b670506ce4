#!/usr/bin/env python3
"""Watches the X display for a plug-in editor's first picture and prints when it showed.

Usage: first_frame_x11.py WIDTH HEIGHT TIMEOUT

Looks every 2 ms for a mapped window of WIDTH x HEIGHT pixels that has no name (an editor's
child window, not the host's titled frame), then reads three of its rows (at a quarter, half and
three quarters of its height) until one holds a pixel that is not black, and prints the system
clock at that moment in seconds. Prints "none" when nothing showed within TIMEOUT seconds. Used
where the host cannot read its editor's picture back itself: Wine draws an OpenGL child window
into an X window of its own. Only libX11 is needed, through ctypes.
"""
import ctypes
import sys
import time

WIDTH, HEIGHT, TIMEOUT = int(sys.argv[1]), int(sys.argv[2]), float(sys.argv[3])

x11 = ctypes.cdll.LoadLibrary("libX11.so.6")
Window = ctypes.c_ulong


class XWindowAttributes(ctypes.Structure):
    _fields_ = [("x", ctypes.c_int), ("y", ctypes.c_int), ("width", ctypes.c_int),
                ("height", ctypes.c_int), ("border_width", ctypes.c_int), ("depth", ctypes.c_int),
                ("visual", ctypes.c_void_p), ("root", Window), ("c_class", ctypes.c_int),
                ("bit_gravity", ctypes.c_int), ("win_gravity", ctypes.c_int),
                ("backing_store", ctypes.c_int), ("backing_planes", ctypes.c_ulong),
                ("backing_pixel", ctypes.c_ulong), ("save_under", ctypes.c_int),
                ("colormap", ctypes.c_ulong), ("map_installed", ctypes.c_int),
                ("map_state", ctypes.c_int), ("all_event_masks", ctypes.c_long),
                ("your_event_mask", ctypes.c_long), ("do_not_propagate_mask", ctypes.c_long),
                ("override_redirect", ctypes.c_int), ("screen", ctypes.c_void_p)]


class XImage(ctypes.Structure):
    _fields_ = [("width", ctypes.c_int), ("height", ctypes.c_int), ("xoffset", ctypes.c_int),
                ("format", ctypes.c_int), ("data", ctypes.POINTER(ctypes.c_uint8)),
                ("byte_order", ctypes.c_int), ("bitmap_unit", ctypes.c_int),
                ("bitmap_bit_order", ctypes.c_int), ("bitmap_pad", ctypes.c_int),
                ("depth", ctypes.c_int), ("bytes_per_line", ctypes.c_int),
                ("bits_per_pixel", ctypes.c_int)]


x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
x11.XDefaultRootWindow.restype = Window
x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
x11.XQueryTree.argtypes = [ctypes.c_void_p, Window, ctypes.POINTER(Window), ctypes.POINTER(Window),
                           ctypes.POINTER(ctypes.POINTER(Window)), ctypes.POINTER(ctypes.c_uint)]
x11.XGetWindowAttributes.argtypes = [ctypes.c_void_p, Window, ctypes.POINTER(XWindowAttributes)]
x11.XFetchName.argtypes = [ctypes.c_void_p, Window, ctypes.POINTER(ctypes.c_char_p)]
x11.XGetImage.restype = ctypes.POINTER(XImage)
x11.XGetImage.argtypes = [ctypes.c_void_p, Window, ctypes.c_int, ctypes.c_int, ctypes.c_uint,
                          ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
x11.XFree.argtypes = [ctypes.c_void_p]
x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]

# A window that goes away between the look-up and the read is an X error, not the end.
ERROR_HANDLER = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)(lambda d, e: 0)
x11.XSetErrorHandler(ERROR_HANDLER)

display = x11.XOpenDisplay(None)
if not display:
    print("none")
    sys.exit(1)
IS_UNMAPPED, Z_PIXMAP, ALL_PLANES = 0, 2, 0xFFFFFFFF


def find(window):
    attributes = XWindowAttributes()
    if (x11.XGetWindowAttributes(display, window, ctypes.byref(attributes))
            and attributes.width == WIDTH and attributes.height == HEIGHT
            and attributes.map_state != IS_UNMAPPED):
        name = ctypes.c_char_p()
        named = x11.XFetchName(display, window, ctypes.byref(name)) and name.value
        if name:
            x11.XFree(name)
        if not named:
            return window
    root, parent = Window(), Window()
    children = ctypes.POINTER(Window)()
    count = ctypes.c_uint()
    if not x11.XQueryTree(display, window, ctypes.byref(root), ctypes.byref(parent),
                          ctypes.byref(children), ctypes.byref(count)):
        return None
    found = None
    for i in range(count.value):
        found = find(children[i])
        if found:
            break
    if children:
        x11.XFree(children)
    return found


def shows_picture(window):
    for k in (1, 2, 3):
        image = x11.XGetImage(display, window, 0, HEIGHT * k // 4, WIDTH, 1, ALL_PLANES, Z_PIXMAP)
        if not image:
            return False
        row = image.contents
        step = row.bits_per_pixel // 8
        data = ctypes.string_at(row.data, row.bytes_per_line)
        x11.XFree(row.data)
        x11.XFree(image)
        if step == 4 and any(data[i] | data[i + 1] | data[i + 2] for i in range(0, WIDTH * 4, 4)):
            return True
    return False


end = time.time() + TIMEOUT
editor = None
while time.time() < end:
    if editor is None:
        editor = find(x11.XDefaultRootWindow(display))
    if editor is not None and shows_picture(editor):
        print("%.4f" % time.time())
        sys.exit(0)
    time.sleep(0.002)
print("none")
