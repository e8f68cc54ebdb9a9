#!/usr/bin/env python3
"""Time to the first picture and peak memory: glimra-render against VTK.

Each run is a fresh process that reads the same raw volume, draws one
640 x 480 picture with GPU ray casting (or the glimra style given) and
writes it: glimra-render through a description file, VTK 9 through numpy
into vtkGPUVolumeRayCastMapper. /usr/bin/time gives the wall time from
process start to exit and the peak resident memory. Runs alternate,
glimra then VTK, round after round; the table gives min and median.

Usage: python3 bench/peer_load.py BUILD_DIR [--sizes 256,512,1024] [--wide 512]
                                  [--style 5] [--rounds 3] [--keep DIR]
Needs python3-vtk9 and python3-numpy (sh scripts/setup.sh bench) and Xvfb
when DISPLAY is unset (Debian's VTK draws through GLX even off screen).
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile

SYSTEM_PYTHON = "/usr/bin/python3"
WIDTH, HEIGHT = 640, 480

try:
    import numpy as np
except ImportError:
    if os.path.exists(SYSTEM_PYTHON) and os.path.realpath(sys.executable) != os.path.realpath(SYSTEM_PYTHON):
        os.execv(SYSTEM_PYTHON, [SYSTEM_PYTHON] + sys.argv)
    sys.exit("peer_load: needs python3-numpy and python3-vtk9: sh scripts/setup.sh bench")

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from peer_vtk import load_average, start_xvfb  # noqa: E402


def write_volume(folder, n, wide):
    """A soft ball with a shell, n^3, bytes or 16-bit little-endian shorts, x fastest."""
    name = "ball%d%s" % (n, "_16" if wide else "")
    raw = os.path.join(folder, name + ".raw")
    if not os.path.exists(raw):
        c = (n - 1) / 2.0
        with open(raw, "wb") as f:
            y, x = np.ogrid[0:n, 0:n]
            for z in range(n):
                r = np.sqrt((z - c) ** 2 + (y - c) ** 2 + (x - c) ** 2) / (0.45 * n)
                v = np.clip(1.0 - r, 0.0, 1.0) * 0.8 + ((r > 0.9) & (r < 1.0)) * 0.2
                if wide:
                    f.write((v * 4095).astype("<u2").tobytes())
                else:
                    f.write((v * 255).astype(np.uint8).tobytes())
    dat = os.path.join(folder, name + ".dat")
    with open(dat, "w") as f:
        f.write("ObjectFileName: %s.raw\nResolution: %d %d %d\nSliceThickness: 1 1 1\nFormat: %s\n"
                "ByteOrder: little\n" % (name, n, n, n, "USHORT" if wide else "UCHAR"))
    return raw, dat


def timed(cmd, env=None):
    """Wall seconds and peak resident MB of a process, or None when it failed."""
    out = subprocess.run(["/usr/bin/time", "-f", "TIME %e %M"] + cmd, stdout=subprocess.DEVNULL,
                         stderr=subprocess.PIPE, text=True, env=env)
    line = [l for l in out.stderr.splitlines() if l.startswith("TIME ")]
    if out.returncode != 0 or not line:
        sys.stderr.write("peer_load: %s failed:\n%s\n" % (cmd[0], out.stderr[-2000:]))
        return None
    _, seconds, kb = line[-1].split()
    return float(seconds), int(kb) / 1024.0


def vtk_child(raw, n, wide, out):
    """One VTK run: read, map, draw one picture, write it."""
    import vtk
    from vtk.util import numpy_support
    values = np.fromfile(raw, dtype="<u2" if wide else np.uint8)
    img = vtk.vtkImageData()
    img.SetDimensions(n, n, n)
    spacing = 1.0 / (n - 1)
    img.SetSpacing(spacing, spacing, spacing)
    img.SetOrigin(-0.5, -0.5, -0.5)
    arr = numpy_support.numpy_to_vtk(values, deep=False,
                                     array_type=vtk.VTK_UNSIGNED_SHORT if wide else vtk.VTK_UNSIGNED_CHAR)
    img.GetPointData().SetScalars(arr)
    top = 4095 if wide else 255
    mapper = vtk.vtkGPUVolumeRayCastMapper()
    mapper.SetInputData(img)
    mapper.SetAutoAdjustSampleDistances(0)
    mapper.SetSampleDistance(spacing)
    color = vtk.vtkColorTransferFunction()
    color.AddRGBPoint(0, 0.0, 0.0, 0.0)
    color.AddRGBPoint(top, 1.0, 1.0, 1.0)
    opacity = vtk.vtkPiecewiseFunction()
    opacity.AddPoint(0, 0.0)
    opacity.AddPoint(top, 1.0)
    prop = vtk.vtkVolumeProperty()
    prop.SetColor(color)
    prop.SetScalarOpacity(opacity)
    prop.SetInterpolationTypeToLinear()
    volume = vtk.vtkVolume()
    volume.SetMapper(mapper)
    volume.SetProperty(prop)
    ren = vtk.vtkRenderer()
    ren.AddVolume(volume)
    cam = ren.GetActiveCamera()
    cam.SetFocalPoint(0, 0, 0)
    cam.SetPosition(0, 0, 3)
    ren.ResetCameraClippingRange()
    win = vtk.vtkRenderWindow()
    win.SetOffScreenRendering(1)
    win.SetSize(WIDTH, HEIGHT)
    win.AddRenderer(ren)
    win.Render()
    grab = vtk.vtkWindowToImageFilter()
    grab.SetInput(win)
    writer = vtk.vtkPNGWriter()
    writer.SetFileName(out)
    writer.SetInputConnection(grab.GetOutputPort())
    writer.Write()


def main():
    if len(sys.argv) > 1 and sys.argv[1] == "--vtk-child":
        raw, n, wide, out = sys.argv[2], int(sys.argv[3]), sys.argv[4] == "1", sys.argv[5]
        vtk_child(raw, n, wide, out)
        return
    p = argparse.ArgumentParser(description="first picture and peak memory, glimra-render against VTK")
    p.add_argument("build", help="build directory holding glimra-render")
    p.add_argument("--sizes", default="256,512,1024", help="cube edges of the 8-bit volumes")
    p.add_argument("--wide", default="512", help="cube edges of the 16-bit volumes ('' for none)")
    p.add_argument("--style", type=int, default=5, help="glimra draw style (default 5, ray casting)")
    p.add_argument("--rounds", type=int, default=3, help="glimra/VTK run pairs per volume (default 3)")
    p.add_argument("--keep", metavar="DIR", help="keep the volumes and pictures in DIR")
    args = p.parse_args()
    tool = os.path.join(args.build, "glimra-render")
    if not os.path.exists(tool):
        sys.exit("peer_load: no %s" % tool)
    xvfb = start_xvfb()
    folder = args.keep or tempfile.mkdtemp(prefix="glimra-peer-load-")
    os.makedirs(folder, exist_ok=True)
    env = dict(os.environ, LIBGL_ALWAYS_SOFTWARE="1")
    cases = [(int(s), False) for s in args.sizes.split(",") if s] + \
            [(int(s), True) for s in args.wide.split(",") if s]
    try:
        print("glimra-render style %d against VTK vtkGPUVolumeRayCastMapper, %d x %d, %d rounds; %s"
              % (args.style, WIDTH, HEIGHT, args.rounds, load_average()))
        print("%-14s %22s %22s %22s %22s" % ("volume", "glimra first picture s", "VTK first picture s",
                                             "glimra peak MB", "VTK peak MB"))
        for n, wide in cases:
            raw, dat = write_volume(folder, n, wide)
            runs = {"glimra": [], "vtk": []}
            for _ in range(args.rounds):
                g = timed([tool, dat, "--style", str(args.style), "--sampling", str(min(n, 512)), "--size",
                           "%dx%d" % (WIDTH, HEIGHT), "-o", os.path.join(folder, "glimra.png")], env)
                v = timed([sys.executable, os.path.abspath(__file__), "--vtk-child", raw, str(n),
                           "1" if wide else "0", os.path.join(folder, "vtk.png")], env)
                if g:
                    runs["glimra"].append(g)
                if v:
                    runs["vtk"].append(v)

            def stat(key, i):
                values = [r[i] for r in runs[key]]
                if not values:
                    return "failed"
                return "%.2f / %.2f" % (min(values), statistics.median(values)) if i == 0 else \
                    "%.0f / %.0f" % (min(values), statistics.median(values))
            label = "%d^3 %s" % (n, "16-bit" if wide else "8-bit")
            print("%-14s %22s %22s %22s %22s" % (label, stat("glimra", 0), stat("vtk", 0), stat("glimra", 1),
                                                 stat("vtk", 1)), flush=True)
        print("(min / median; %s)" % load_average())
    finally:
        if xvfb:
            xvfb.terminate()
        if not args.keep:
            shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    main()
