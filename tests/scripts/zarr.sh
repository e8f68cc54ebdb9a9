#!/bin/sh
# OME-Zarr against an independent implementation, Debian's python3-zarr: it
# reads what zvftool pyramid writes (from raw, description and zvf files)
# and finds the same voxels, every level the mean of the one before; the
# pyramids it writes with each compressor and both separators (every dtype,
# time and channel axes, a missing chunk) open in glimra with the same
# voxels: the coarsest level through zvftool convert, the finest through
# zvftool pyramid, which reads it chunk by chunk.
# Usage: sh zarr.sh BUILD_DIR SOURCE_DIR   (exit 77 without python3-zarr)
set -u
BUILD=$1
TOOL="$BUILD/zvftool"
PY=""
for p in /usr/bin/python3 python3; do
    if "$p" -c "import zarr, numcodecs, numpy" 2>/dev/null; then PY=$p; break; fi
done
[ -n "$PY" ] || { echo "SKIP: python3-zarr is missing (sh scripts/setup.sh installs it)"; exit 77; }
T=$(mktemp -d)
trap 'rm -rf "$T"' EXIT
fail=0
run() {
    "$@" >"$T/out.txt" 2>&1 || { echo "FAIL: $* ($(cat "$T/out.txt"))"; fail=1; }
}

# Python's half of the work: the common helpers, then the task named.
cat > "$T/check.py" <<'PY'
import json, os, re, struct, sys, zlib
import numpy as np, zarr
from numcodecs import Blosc, Zstd, Zlib, GZip

def half(a):
    """The next level of a z, y, x array: the mean of each 2 x 2 x 2 block
    of the values there are, integers rounded half away from zero."""
    n = [(d + 1) // 2 for d in a.shape]
    p = np.zeros([2 * d for d in n], np.float64)
    c = np.zeros_like(p)
    p[:a.shape[0], :a.shape[1], :a.shape[2]] = a
    c[:a.shape[0], :a.shape[1], :a.shape[2]] = 1
    s = sum(p[i::2, j::2, k::2] for i in (0, 1) for j in (0, 1) for k in (0, 1))
    m = s / sum(c[i::2, j::2, k::2] for i in (0, 1) for j in (0, 1) for k in (0, 1))
    if a.dtype.kind in 'iu':
        return (np.sign(m) * np.floor(np.abs(m) + 0.5)).astype(a.dtype)
    return m.astype(a.dtype)

def read_zvf(path):
    data = open(path, 'rb').read()
    pos, lines = 0, []
    while True:
        end = data.index(b'\n', pos)
        lines.append(data[pos:end].decode('ascii', 'replace'))
        pos = end + 1
        if lines[-1].startswith('#!last'):
            break
    pos += 4  # "255\n"
    w, h = map(int, lines[1].split())
    f = {}
    for l in lines[2:]:
        m = re.match(r'#!(\w+)\s+(.*)', l)
        if m and m.group(1) not in f:
            f[m.group(1)] = m.group(2).strip()
    nx, ny, nz = map(int, f['vdim'].split())
    nb = int(f['nbands'])
    pos += w * h * (1 if lines[0] == 'P5' else 3)
    dt = {'zvfUChar': 'u1', 'zvfChar': 'i1', 'zvfUInt16': 'u2', 'zvfInt16': 'i2', 'zvfUInt32': 'u4',
          'zvfInt32': 'i4', 'zvfFloat': 'f4'}[f['dtype']]
    order = '<' if f['endian'] == 'zvfLittleEndian' else '>'
    slices = []
    for r in range(nz * nb):
        n = struct.unpack('>I', data[pos:pos + 4])[0]
        slices.append(np.frombuffer(zlib.decompress(data[pos + 4:pos + 4 + n]), order + dt))
        pos += 4 + n
    return np.concatenate(slices).reshape(nb, nz, ny, nx)

def check_pyramid(path, level0, scale0):
    """A pyramid of zvftool: NGFF 0.4 metadata, level 0 the voxels (c, z, y, x
    or z, y, x), each further level the mean of the one before."""
    g = zarr.open_group(path, mode='r')
    ms = g.attrs['multiscales'][0]
    assert ms['version'] == '0.4', ms['version']
    names = [a['name'] for a in ms['axes']]
    assert names[-3:] == ['z', 'y', 'x'] and len(names) == level0.ndim, names
    want = level0
    for i, d in enumerate(ms['datasets']):
        a = g[d['path']][:]
        assert a.dtype == want.dtype, (path, i, a.dtype, want.dtype)
        assert a.shape == want.shape, (path, i, a.shape, want.shape)
        assert np.array_equal(a, want, equal_nan=True), (path, 'level', i, 'differs')
        scale = d['coordinateTransformations'][0]['scale']
        assert abs(scale[-1] - scale0[-1] * 2 ** i) < 1e-9 * scale[-1], (path, i, scale)
        if i + 1 < len(ms['datasets']):
            want = np.stack([half(c) for c in want]) if want.ndim == 4 else half(want)
    sizes = g[ms['datasets'][-1]['path']].shape[-3:]
    return len(ms['datasets']), sizes

task = sys.argv[1]
T = sys.argv[2]
comps = {'blosc-lz4': Blosc('lz4', 5, Blosc.SHUFFLE), 'blosc-zstd': Blosc('zstd', 3, Blosc.BITSHUFFLE),
         'blosc-zlib': Blosc('zlib', 5, Blosc.NOSHUFFLE), 'zstd': Zstd(3), 'zlib': Zlib(5), 'gzip': GZip(5),
         'none': None}
dtypes = ['>u2', '<i2', '|u1', '<f4', '<f8', '>i4', '<u4', '|i1', '>f4', '<u2', '>i2', '|u1', '<i4', '>f8']

if task == 'sources':
    # 2 channels of 16-bit values, big-endian, adjacent in the raw file.
    rng = np.random.default_rng(7)
    v = rng.integers(0, 65535, size=(19, 23, 37, 2), dtype=np.uint16)
    v.astype('>u2').tofile(T + '/v.raw')
    open(T + '/v.dat', 'w').write('ObjectFileName: v.raw\nResolution: 37 23 19\nSliceThickness: 0.5 0.5 2\n'
                                  'Format: USHORT\nNbrChannels: 2\nByteOrder: big\n')
    np.save(T + '/v.npy', np.moveaxis(v, 3, 0))
    f = (rng.random((7, 9, 10)) * 100 - 50).astype('<f4')
    f.tofile(T + '/f.raw')
    np.save(T + '/f.npy', f)
elif task == 'check-sources':
    v = np.load(T + '/v.npy')
    for c in ['blosc', 'zstd', 'zlib', 'gzip', 'none']:
        n, sizes = check_pyramid(T + '/v-%s.zarr' % c, v, [1, 2, 0.5, 0.5])
        assert (n, sizes) == (4, (3, 3, 5)), (c, n, sizes)
    check_pyramid(T + '/f.zarr', np.load(T + '/f.npy'), [1, 1, 1])
    p = read_zvf(T + '/p.zvf')[0]
    n, sizes = check_pyramid(T + '/p.zarr', p, [1.5, 0.9, 0.9])
    assert sizes == (16, 20, 20), sizes
    g = zarr.open_group(T + '/s.zarr', mode='r')
    assert g['0'].shape == (40, 40, 40) and g['0'].dtype == np.int16, (g['0'].shape, g['0'].dtype)
    check_pyramid(T + '/s.zarr', g['0'][:], [4.8, 3.6, 3.6])
elif task == 'write':
    # Pyramids of two levels with time and channel axes, every compressor
    # and separator, a dtype each; chunk 0.1.1.1.1 of level 1 has no file.
    rng = np.random.default_rng(3)
    k = 0
    for comp in comps:
        for sep in ['.', '/']:
            dt = np.dtype(dtypes[k])
            k += 1
            shape = (2, 3, 13, 17, 19)
            a = (rng.random(shape) * 120 - (60 if dt.kind in 'if' else 0)).astype(dt)
            out = '%s/%s%s.zarr' % (T, comp, 'S' if sep == '/' else 'D')
            g = zarr.group(store=zarr.DirectoryStore(out, dimension_separator=sep), overwrite=True)
            levels = [a, a[:, :, ::2, ::2, ::2].copy()]
            for i, l in enumerate(levels):
                g.create_dataset(str(i), data=l, chunks=(1, 2, 5, 6, 7), compressor=comps[comp], fill_value=3)
            axes = [{'name': 't', 'type': 'time'}, {'name': 'c', 'type': 'channel'}] + \
                   [{'name': n, 'type': 'space', 'unit': 'micrometer'} for n in 'zyx']
            g.attrs['multiscales'] = [{'version': '0.4', 'axes': axes, 'datasets': [
                {'path': str(i), 'coordinateTransformations': [{'type': 'scale', 'scale': [1, 1, 2.0 * 2 ** i, 0.5 * 2 ** i, 0.5 * 2 ** i]}]}
                for i in range(2)]}]
            os.remove(out + '/1/' + sep.join(['0', '1', '1', '1', '1']))
            coarse = levels[1][0].copy()
            coarse[2:3, 5:7, 6:9, 7:10] = 3
            np.save(out + '.coarse.npy', coarse)
            np.save(out + '.fine.npy', a[0])
    # A 2-D image of NGFF 0.3 (axes by name) and a Fortran-ordered array.
    g = zarr.open_group(T + '/plane.zarr', mode='w')
    img = (np.arange(35 * 24).reshape(24, 35) % 251).astype('|u1')
    g.create_dataset('0', data=img, chunks=(10, 10))
    g.attrs['multiscales'] = [{'version': '0.3', 'axes': ['y', 'x'], 'datasets': [{'path': '0'}]}]
    np.save(T + '/plane.npy', img[None, None])
    g = zarr.open_group(T + '/fortran.zarr', mode='w')
    g.create_dataset('0', data=img, chunks=(10, 10), order='F')
    g.attrs['multiscales'] = [{'version': '0.4', 'axes': [{'name': 'y', 'type': 'space'}, {'name': 'x', 'type': 'space'}],
                               'datasets': [{'path': '0', 'coordinateTransformations': [{'type': 'scale', 'scale': [1, 1]}]}]}]
elif task == 'check-written':
    for comp in comps:
        for s in 'DS':
            out = '%s/%s%s.zarr' % (T, comp, s)
            coarse = np.load(out + '.coarse.npy')
            got = read_zvf(out + '.zvf')
            want = coarse.astype(np.float32) if coarse.dtype.itemsize == 8 else coarse
            assert got.dtype == want.dtype.newbyteorder('=') and np.array_equal(got, want), (out, 'coarsest level')
            fine = np.load(out + '.fine.npy')
            fine = fine.astype(np.float32) if fine.dtype.itemsize == 8 else fine
            again = zarr.open_group(out + '.again', mode='r')['0'][:]
            assert np.array_equal(again, fine), (out, 'finest level')
    assert np.array_equal(read_zvf(T + '/plane.zvf'), np.load(T + '/plane.npy')), 'plane'
print('ok')
PY

# (i) python3-zarr reads what zvftool pyramid writes.
run "$PY" "$T/check.py" sources "$T"
for c in blosc zstd zlib gzip none; do
    run "$TOOL" pyramid "$T/v.dat" "$T/v-$c.zarr" --chunk 8 --compressor "$c"
done
run "$TOOL" pyramid "$T/f.raw" "$T/f.zarr" --size 10 9 7 --type FLOAT --chunk 4
run "$TOOL" sample phantom "$T/p.zvf"
run "$TOOL" pyramid "$T/p.zvf" "$T/p.zarr" --chunk 32
run "$TOOL" sample phantom "$T/s.zarr" --size 40 --type short --chunk 16 --compressor zstd
"$PY" "$T/check.py" check-sources "$T" >"$T/out.txt" 2>&1 || { echo "FAIL: zvftool's pyramids: $(tail -n 3 "$T/out.txt")"; fail=1; }
[ $fail = 0 ] && echo "ok: python3-zarr reads zvftool's pyramids (5 compressors, raw, zvf, sample)"

# (ii) glimra reads what python3-zarr writes.
run "$PY" "$T/check.py" write "$T"
for z in "$T"/*[DS].zarr; do
    run "$TOOL" convert "$z" "$z.zvf"
    run "$TOOL" pyramid "$z" "$z.again" --chunk 8 --compressor none
done
run "$TOOL" convert "$T/plane.zarr/.zattrs" "$T/plane.zvf"
"$PY" "$T/check.py" check-written "$T" >"$T/out.txt" 2>&1 || { echo "FAIL: python3-zarr's pyramids: $(tail -n 3 "$T/out.txt")"; fail=1; }
[ $fail = 0 ] && echo "ok: glimra reads python3-zarr's pyramids (7 compressors x 2 separators, 14 dtypes)"

# What glimra does not read is refused naming the file and the fault.
"$TOOL" convert "$T/fortran.zarr" "$T/fortran.zvf" >"$T/out.txt" 2>&1
want="zvftool: $T/fortran.zarr/0/.zarray: order \"F\" is not read (only C)"
if [ "$(cat "$T/out.txt")" = "$want" ]; then echo "ok: order F refused"; else echo "FAIL: order F: $(cat "$T/out.txt")"; fail=1; fi
"$TOOL" pyramid "$T/p.zvf" "$T/p.zarr" >"$T/out.txt" 2>&1
want="zvftool: $T/p.zarr: exists and is not empty"
if [ "$(cat "$T/out.txt")" = "$want" ]; then echo "ok: no pyramid over a full folder"; else echo "FAIL: full folder: $(cat "$T/out.txt")"; fail=1; fi
exit $fail
