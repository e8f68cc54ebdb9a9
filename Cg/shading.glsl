// The light model of the shaded styles: two-sided Blinn-Phong from a headlight,
// normals from the stored gradients or from central differences of the data.

const float ka = 0.3;          // ambient
const float kd = 0.7;          // diffuse
const float ks = 0.3;          // specular
const float shininess = 20.0;

// Stored gradient to a vector. Every data type stores a zero gradient as 128/255 of its
// range (128 for bytes, 128 x 257 for 16-bit data, 128/255 for floats) and the half
// difference about it, rounded half away from zero, so the texel reads 128/255 plus the
// half difference, mirror-image data alike. The dead zone, far below one 16-bit step,
// only takes the rounding of the texel's conversion to an exact zero.
const float gradientZero = 128.0 / 255.0;

vec3 decodeGradient(vec3 stored)
{
    vec3 d = stored - gradientZero;
    return d * step(0.25 / 65535.0, abs(d));
}

// The light vector turned into the data's frame; a zero one falls back to the front view's.
vec3 lightDirection(vec3 l)
{
    float len = length(l);
    return len > 0.0 ? l / len : vec3(0.0, 0.0, -1.0);
}

// Two-sided Blinn-Phong. The light is a headlight, so the half vector is the light
// direction itself. The white highlight is weighed by alpha so that empty space gets none.
// No gradient: the classified colour as it is.
vec4 shade(vec4 c, vec3 g, vec3 lightDir)
{
    float len = length(g);
    if (!(len > 0.0))
        return c;
    float d = abs(dot(g / len, lightDir));
    return vec4(c.rgb * (ka + kd * d) + ks * pow(d, shininess) * c.a, c.a);
}

// Central differences one texel apart. Single-channel data is an intensity texture, so .a
// holds the value.
vec3 gradient3D(sampler3D tex, vec3 tc, vec3 texel)
{
    float gx = texture3D(tex, tc + vec3(texel.x, 0.0, 0.0)).a - texture3D(tex, tc - vec3(texel.x, 0.0, 0.0)).a;
    float gy = texture3D(tex, tc + vec3(0.0, texel.y, 0.0)).a - texture3D(tex, tc - vec3(0.0, texel.y, 0.0)).a;
    float gz = texture3D(tex, tc + vec3(0.0, 0.0, texel.z)).a - texture3D(tex, tc - vec3(0.0, 0.0, texel.z)).a;
    return vec3(gx, gy, gz);
}
