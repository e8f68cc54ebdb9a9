// Classification through the palette (one row) or the pre-integration table
// (column: front value, row: back value), read at texel centres.

// Value v (0..1) to its table entry: texel centres, so the n values land on the n entries.
vec4 classify(sampler2D table, vec4 v)
{
    float n = float(textureSize(table, 0).x);
    vec4 s = v * ((n - 1.0) / n) + 0.5 / n;
    if (v.r == v.a && v.g == v.a && v.b == v.a)
        return texture2D(table, vec2(s.a, 0.5));
    return vec4(texture2D(table, vec2(s.r, 0.5)).r, texture2D(table, vec2(s.g, 0.5)).g,
                texture2D(table, vec2(s.b, 0.5)).b, texture2D(table, vec2(s.a, 0.5)).a);
}

// Front value f and back value b to the pre-integrated entry of the segment between them
// (column: front, row: back), channel by channel.
vec4 classifyPair(sampler2D table, vec4 f, vec4 b)
{
    vec2 n = vec2(textureSize(table, 0));
    vec4 sf = f * ((n.x - 1.0) / n.x) + 0.5 / n.x;
    vec4 sb = b * ((n.y - 1.0) / n.y) + 0.5 / n.y;
    if (f.r == f.a && f.g == f.a && f.b == f.a && b.r == b.a && b.g == b.a && b.b == b.a)
        return texture2D(table, vec2(sf.a, sb.a));
    return vec4(texture2D(table, vec2(sf.r, sb.r)).r, texture2D(table, vec2(sf.g, sb.g)).g,
                texture2D(table, vec2(sf.b, sb.b)).b, texture2D(table, vec2(sf.a, sb.a)).a);
}

// The same sampler carries the palette (one row) or, with pre-integration, the 2-D table;
// only then does texture coordinate 1 hold the next sample.
vec4 classifySample(sampler2D table, sampler3D data, vec4 v)
{
    if (textureSize(table, 0).y > 1)
        return classifyPair(table, v, texture3D(data, gl_TexCoord[1].xyz));
    return classify(table, v);
}
