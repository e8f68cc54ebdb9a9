#!/usr/bin/env python3
"""glimra's GPU ray casting side by side with VTK's GPU ray-cast mapper.

Both render the same 256^3 8-bit volume (a soft ball with a shell) on Mesa's
software rasteriser at 640 x 480, orthographic front view, the same ray step
and the same grey ramp transfer function, in composite and in maximum
intensity mode. Runs alternate, glimra then VTK, round after round; the table
gives frames per second per mode.

Usage: python3 bench/peer_vtk.py BUILD_DIR [--style N] [--frames F] [--rounds R]
                                 [--sampling N] [--keep DIR]
Needs python3-vtk9 and python3-numpy (sh scripts/setup.sh bench). Starts Xvfb
when DISPLAY is unset: Debian's VTK draws through GLX even off screen.
"""
import argparse
import math
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

SYSTEM_PYTHON = "/usr/bin/python3"

try:
    import numpy as np
    import vtk
    from vtk.util import numpy_support
except ImportError:
    # Debian's VTK is built for the system interpreter; a python3 found
    # earlier on PATH (pyenv, a virtual environment) does not see it.
    if os.path.exists(SYSTEM_PYTHON) and os.path.realpath(sys.executable) != os.path.realpath(SYSTEM_PYTHON):
        os.execv(SYSTEM_PYTHON, [SYSTEM_PYTHON] + sys.argv)
    sys.exit("peer_vtk: needs python3-vtk9 and python3-numpy: sh scripts/setup.sh bench")

N_VOX = 256
WIDTH, HEIGHT = 640, 480
MODES = [("composite", 0), ("maximum intensity", 1)]


def parse_args():
    p = argparse.ArgumentParser(description="glimra ray casting against VTK's GPU ray-cast mapper")
    p.add_argument("build", help="build directory holding glimra-render")
    p.add_argument("--style", type=int, default=5, help="glimra render style (default 5, ray casting)")
    p.add_argument("--frames", type=int, default=5, help="timed frames per run (default 5)")
    p.add_argument("--rounds", type=int, default=5, help="glimra/VTK run pairs per mode (default 5)")
    p.add_argument("--sampling", type=int, default=256, help="glimra --sampling (default 256)")
    p.add_argument("--keep", metavar="DIR", help="keep the volume, palette and pictures in DIR")
    return p.parse_args()


# ---- the volume ----

def make_ball():
    """A soft ball with a shell, x fastest: the volume of bench/render_slicing.sh."""
    c = (N_VOX - 1) / 2
    z, y, x = np.ogrid[0:N_VOX, 0:N_VOX, 0:N_VOX]
    r = np.sqrt((z - c) ** 2 + (y - c) ** 2 + (x - c) ** 2)
    inner = np.floor(160 * (1 - np.minimum(r, 110) / 110))
    v = np.where(r > 120, 0, np.where(r > 110, 220, inner))
    return v.astype(np.uint8)


def write_glimra_inputs(folder, vol):
    vol.tofile(os.path.join(folder, "ball.raw"))
    dat = os.path.join(folder, "ball.dat")
    with open(dat, "w") as f:
        f.write("ObjectFileName: ball.raw\nResolution: %d %d %d\nSliceThickness: 1 1 1\nFormat: UCHAR\n"
                % (N_VOX, N_VOX, N_VOX))
    # Red, green, blue and alpha each a straight ramp from (0, 0) to (1, 1):
    # glimra's start-up palette, given explicitly so that a changed default
    # does not change the comparison.
    pal = os.path.join(folder, "ramp.pal")
    with open(pal, "wb") as f:
        f.write(b"2\r\n0.000000 0.000000\r\n1.000000 1.000000\r\n\r\n" * 4)
    return dat, pal


# ---- glimra ----

def glimra_cmd(args, dat, pal, blending):
    return [os.path.join(args.build, "glimra-render"), dat, "-p", pal, "--style", str(args.style),
            "--size", "%dx%d" % (WIDTH, HEIGHT), "--blending", str(blending),
            "--sampling", str(args.sampling), "--ortho"]


def run_glimra(cmd, cwd):
    r = subprocess.run(cmd, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    if r.returncode != 0:
        sys.exit("peer_vtk: %s failed (%d):\n%s" % (" ".join(cmd), r.returncode, r.stderr.strip()))
    return r.stdout


def glimra_millis(args, dat, pal, blending, cwd):
    out = run_glimra(glimra_cmd(args, dat, pal, blending) + ["--frames", str(args.frames)], cwd)
    return float(out.split()[-1])


# ---- VTK ----

class VtkScene:
    def __init__(self, vol, sample_distance):
        img = vtk.vtkImageData()
        img.SetDimensions(N_VOX, N_VOX, N_VOX)
        # glimra's box is 1 wide in x; VTK's spans (n - 1) spacings between
        # the first and the last voxel centre.
        self.spacing = 1.0 / (N_VOX - 1)
        img.SetSpacing(self.spacing, self.spacing, self.spacing)
        img.SetOrigin(-0.5, -0.5, -0.5)
        arr = numpy_support.numpy_to_vtk(vol.ravel(), deep=True, array_type=vtk.VTK_UNSIGNED_CHAR)
        img.GetPointData().SetScalars(arr)
        self.image = img
        self.sample_distance = sample_distance
        self.parallel_scale = 0.5

    def build(self, blend_mode):
        """A fresh window, renderer and mapper, as a glimra run gets a fresh context."""
        mapper = vtk.vtkGPUVolumeRayCastMapper()
        mapper.SetInputData(self.image)
        mapper.SetAutoAdjustSampleDistances(0)
        mapper.SetLockSampleDistanceToInputSpacing(0)
        mapper.SetSampleDistance(self.sample_distance)
        mapper.SetImageSampleDistance(1.0)
        if blend_mode == 0:
            mapper.SetBlendModeToComposite()
        else:
            mapper.SetBlendModeToMaximumIntensity()

        color = vtk.vtkColorTransferFunction()
        color.AddRGBPoint(0, 0.0, 0.0, 0.0)
        color.AddRGBPoint(255, 1.0, 1.0, 1.0)
        opacity = vtk.vtkPiecewiseFunction()
        opacity.AddPoint(0, 0.0)
        opacity.AddPoint(255, 1.0)
        prop = vtk.vtkVolumeProperty()
        prop.SetColor(color)
        prop.SetScalarOpacity(opacity)
        # Table opacity per ray step, as glimra's palette is at this sampling.
        prop.SetScalarOpacityUnitDistance(self.sample_distance)
        prop.SetInterpolationTypeToLinear()
        prop.ShadeOff()

        volume = vtk.vtkVolume()
        volume.SetMapper(mapper)
        volume.SetProperty(prop)

        ren = vtk.vtkRenderer()
        ren.SetBackground(0, 0, 0)
        ren.AddVolume(volume)
        cam = ren.GetActiveCamera()
        cam.ParallelProjectionOn()
        cam.SetFocalPoint(0, 0, 0)
        cam.SetPosition(0, 0, 3)
        cam.SetViewUp(0, 1, 0)
        cam.SetParallelScale(self.parallel_scale)
        ren.ResetCameraClippingRange()

        win = vtk.vtkRenderWindow()
        win.SetOffScreenRendering(1)
        win.SetSize(WIDTH, HEIGHT)
        win.AddRenderer(ren)
        # Keep the objects alive with the window.
        win._keep = (mapper, color, opacity, prop, volume, ren)
        return win, ren

    def picture(self, blend_mode):
        win, _ = self.build(blend_mode)
        win.Render()
        grab = vtk.vtkWindowToImageFilter()
        grab.SetInput(win)
        grab.SetInputBufferTypeToRGB()
        grab.ReadFrontBufferOff()
        grab.Update()
        img = grab.GetOutput()
        pixels = numpy_support.vtk_to_numpy(img.GetPointData().GetScalars())
        info = win.ReportCapabilities()
        win.Finalize()
        return pixels.reshape(HEIGHT, WIDTH, -1)[::-1], img, info

    def millis(self, blend_mode, frames):
        win, ren = self.build(blend_mode)
        cam = ren.GetActiveCamera()
        win.Render()  # warm-up: shaders and the volume texture
        win.WaitForCompletion()
        start = time.perf_counter()
        for _ in range(frames):
            # A slightly different view every frame, so nothing is reused.
            cam.Azimuth(1.0)
            ren.ResetCameraClippingRange()
            win.Render()
        win.WaitForCompletion()
        ms = (time.perf_counter() - start) * 1000.0 / frames
        win.Finalize()
        return ms


# ---- coverage ----

def read_png(path):
    reader = vtk.vtkPNGReader()
    reader.SetFileName(path)
    reader.Update()
    img = reader.GetOutput()
    w, h, _ = img.GetDimensions()
    pixels = numpy_support.vtk_to_numpy(img.GetPointData().GetScalars())
    return pixels.reshape(h, w, -1)


def coverage(pixels):
    """Pixels that differ from the top-left corner (the background) in any colour channel."""
    rgb = pixels[:, :, :3].astype(np.int32)
    diff = np.abs(rgb - rgb[0, 0]).max(axis=2)
    return int((diff > 8).sum())


def match_coverage(args, scene, dat, pal, folder):
    png = os.path.join(folder, "glimra.png")
    run_glimra(glimra_cmd(args, dat, pal, 0) + ["-o", png], folder)
    target = coverage(read_png(png))
    if target == 0:
        sys.exit("peer_vtk: glimra's picture is empty")
    # The covered area goes with 1 / scale^2.
    for _ in range(6):
        pixels, img, info = scene.picture(0)
        got = coverage(pixels)
        if got == 0:
            sys.exit("peer_vtk: VTK's picture is empty")
        if abs(got / target - 1) < 0.01:
            break
        scene.parallel_scale *= math.sqrt(got / target)
    writer = vtk.vtkPNGWriter()
    writer.SetFileName(os.path.join(folder, "vtk.png"))
    writer.SetInputData(img)
    writer.Write()
    return target, got, info


# ---- display ----

def start_xvfb():
    """Xvfb on the first free display from :99 down, when there is none."""
    if os.environ.get("DISPLAY"):
        return None
    for n in (99, 98, 97, 96, 95):
        if os.path.exists("/tmp/.X11-unix/X%d" % n) or os.path.exists("/tmp/.X%d-lock" % n):
            continue
        proc = subprocess.Popen(["Xvfb", ":%d" % n, "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for _ in range(50):
            if os.path.exists("/tmp/.X11-unix/X%d" % n):
                break
            time.sleep(0.1)
        os.environ["DISPLAY"] = ":%d" % n
        return proc
    sys.exit("peer_vtk: no free X display for Xvfb")


def load_average():
    try:
        out = subprocess.run(["uptime"], stdout=subprocess.PIPE, text=True).stdout.strip()
    except OSError:
        with open("/proc/loadavg") as f:
            out = "load average: " + ", ".join(f.read().split()[:3])
    return out[out.find("load average"):] if "load average" in out else out


def gl_renderer(info):
    for line in info.splitlines():
        if "renderer string" in line:
            return line.split(":", 1)[1].strip()
    return "unknown"


def main():
    args = parse_args()
    args.build = os.path.abspath(args.build)
    tool = os.path.join(args.build, "glimra-render")
    if not os.access(tool, os.X_OK):
        sys.exit("peer_vtk: %s is missing; build the glimra-render target" % tool)
    os.environ["LIBGL_ALWAYS_SOFTWARE"] = "1"
    xvfb = start_xvfb()
    folder = tempfile.mkdtemp(prefix="glimra-peer-")
    try:
        run(args, folder)
    finally:
        if args.keep:
            os.makedirs(args.keep, exist_ok=True)
            for name in os.listdir(folder):
                shutil.copy(os.path.join(folder, name), args.keep)
        shutil.rmtree(folder, ignore_errors=True)
        if xvfb:
            xvfb.terminate()
            xvfb.wait()


def run(args, folder):
    dat, pal = write_glimra_inputs(folder, make_ball())
    vol = np.fromfile(os.path.join(folder, "ball.raw"), dtype=np.uint8)
    diagonal = math.sqrt(3.0)
    slice_dist = diagonal / ((args.sampling - 1) * 2.2)
    scene = VtkScene(vol, slice_dist)

    print("glimra style %d against VTK %s vtkGPUVolumeRayCastMapper" % (args.style, vtk.vtkVersion.GetVTKVersion()))
    print("volume     %d^3 uchar soft ball with shell, box [-0.5, 0.5]^3 (VTK spacing 1/%d)" % (N_VOX, N_VOX - 1))
    print("picture    %dx%d, orthographic front view, LIBGL_ALWAYS_SOFTWARE=1, DISPLAY=%s"
          % (WIDTH, HEIGHT, os.environ.get("DISPLAY")))
    print("ray step   %.6f box units (glimra --sampling %d; VTK SetSampleDistance, auto-adjust off, "
          "image sample distance 1)" % (slice_dist, args.sampling))
    print("transfer   grey ramp, opacity ramp 0..1 (glimra -p ramp.pal = its default palette; "
          "VTK opacity unit distance = ray step), no shading, linear interpolation")

    target, got, info = match_coverage(args, scene, dat, pal, folder)
    print("VTK GL     %s" % gl_renderer(info))
    print("coverage   glimra %d px, VTK %d px (%+.1f%%) at parallel scale %.4f"
          % (target, got, 100.0 * (got / target - 1), scene.parallel_scale))
    if abs(got / target - 1) > 0.05:
        sys.exit("peer_vtk: could not match the covered area within 5%")
    print("timing     %d rounds per mode, glimra then VTK; a run = mean of %d frames after 1 warm-up "
          "(VTK turns 1 degree per frame)" % (args.rounds, args.frames))
    print("before     %s" % load_average())

    results = {}
    for name, blending in MODES:
        g, v = [], []
        for _ in range(args.rounds):
            g.append(glimra_millis(args, dat, pal, blending, folder))
            v.append(scene.millis(blending, args.frames))
        results[name] = (g, v)
        print("  %-18s glimra ms %s" % (name, " ".join("%.1f" % x for x in g)))
        print("  %-18s VTK    ms %s" % ("", " ".join("%.1f" % x for x in v)))
    print("after      %s" % load_average())
    print()
    print("%-18s %10s %10s %10s %10s %9s %9s" % ("mode", "glimra min", "glimra med", "VTK min", "VTK med",
                                                "ratio med", "ratio min"))
    print("%-18s %10s %10s %10s %10s %9s %9s" % ("", "fps", "fps", "fps", "fps", "g/VTK", "g/VTK"))
    for name, _ in MODES:
        g, v = results[name]
        g_min, g_med = 1000.0 / max(g), 1000.0 / statistics.median(g)
        v_min, v_med = 1000.0 / max(v), 1000.0 / statistics.median(v)
        print("%-18s %10.2f %10.2f %10.2f %10.2f %9.2f %9.2f"
              % (name, g_min, g_med, v_min, v_med, g_med / v_med, g_min / v_min))


if __name__ == "__main__":
    main()
