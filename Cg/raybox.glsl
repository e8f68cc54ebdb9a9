// Where a ray leaves the box.

// Distance from p (inside the box |x| <= h) along the unit direction d to the box surface.
float exitDistance(vec3 p, vec3 d, vec3 h)
{
    float t = 1e30;
    for (int i = 0; i < 3; ++i)
        if (abs(d[i]) > 1e-8)
            t = min(t, ((d[i] > 0.0 ? h[i] : -h[i]) - p[i]) / d[i]);
    return max(t, 0.0);
}
