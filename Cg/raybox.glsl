// Where a ray leaves the box, and the stretch of it the clip planes keep.

// Distance from p (inside the box |x| <= h) along the unit direction d to the box surface.
float exitDistance(vec3 p, vec3 d, vec3 h)
{
    float t = 1e30;
    for (int i = 0; i < 3; ++i)
        if (abs(d[i]) > 1e-8)
            t = min(t, ((d[i] > 0.0 ? h[i] : -h[i]) - p[i]) / d[i]);
    return max(t, 0.0);
}

// Narrows t0 ... t1, distances from p along d, to the kept side of every plane
// (dot(plane, (x, 1)) >= 0, box coordinates); false when nothing is kept.
bool clipSpan(vec4 planes[6], vec3 p, vec3 d, inout float t0, inout float t1)
{
    for (int i = 0; i < 6; ++i) {
        float dn = dot(planes[i].xyz, d);
        float dp = dot(planes[i], vec4(p, 1.0));
        if (abs(dn) < 1e-7) {
            if (dp < 0.0)
                return false;
        } else if (dn > 0.0) {
            t0 = max(t0, -dp / dn);
        } else {
            t1 = min(t1, -dp / dn);
        }
    }
    return t1 > t0;
}
