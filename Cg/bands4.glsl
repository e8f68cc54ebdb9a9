// Multi-band data, four bands per texture: the weighted sum the programs classify.
// The including program declares volume, volume1 ... volume10, arr and numOfEl.

// Weighted sum of the bands, clamped to 0..1: arr[0] weighs the ordinary volume and
// arr[1 + 4 (t - 1) + c] channel c of volume<t>, which holds band 4 (t - 1) + c + 1;
// bands past numOfEl are left out (their samplers may be unbound).
float bands(sampler3D tex, vec3 tc, int t)
{
    int first = 4 * (t - 1) + 1;
    vec4 w = vec4(arr[first], arr[first + 1], arr[first + 2], arr[first + 3]);
    vec4 used = step(vec4(float(first)) + vec4(-0.5, 0.5, 1.5, 2.5), vec4(numOfEl));
    return dot(w * used, texture3D(tex, tc));
}

float combined(vec3 tc)
{
    float v = arr[0] * texture3D(volume, tc).r;
    v += bands(volume1, tc, 1);
    v += bands(volume2, tc, 2);
    v += bands(volume3, tc, 3);
    v += bands(volume4, tc, 4);
    v += bands(volume5, tc, 5);
    v += bands(volume6, tc, 6);
    v += bands(volume7, tc, 7);
    v += bands(volume8, tc, 8);
    v += bands(volume9, tc, 9);
    v += bands(volume10, tc, 10);
    return clamp(v, 0.0, 1.0);
}
