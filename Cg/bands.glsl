// Multi-band data, one band per texture: the weighted sum the programs classify.
// The including program declares volume, volume1 ... volume10, arr and numOfEl.

// Weighted sum of the bands, clamped to 0..1: arr[0] weighs the ordinary volume, arr[t]
// the band in volume<t>; bands past numOfEl are left out (their samplers may be unbound).
float band(sampler3D tex, vec3 tc, int t)
{
    return step(float(t) - 0.5, numOfEl) * arr[t] * texture3D(tex, tc).r;
}

float combined(vec3 tc)
{
    float v = arr[0] * texture3D(volume, tc).r;
    v += band(volume1, tc, 1);
    v += band(volume2, tc, 2);
    v += band(volume3, tc, 3);
    v += band(volume4, tc, 4);
    v += band(volume5, tc, 5);
    v += band(volume6, tc, 6);
    v += band(volume7, tc, 7);
    v += band(volume8, tc, 8);
    v += band(volume9, tc, 9);
    v += band(volume10, tc, 10);
    return clamp(v, 0.0, 1.0);
}
