// The light model of the shaded styles: two-sided Blinn-Phong from a headlight,
// normals from the stored gradients or from central differences of the data.

const float ka = 0.3;          // ambient
const float kd = 0.7;          // diffuse
const float ks = 0.3;          // specular
const float shininess = 20.0;

// Stored gradient to a vector. The stored half-difference was rounded down, so the middle
// of its step lies a quarter level above the bias; that keeps mirrored surfaces lit alike.
// A zero gradient then reads a quarter level off for 8-bit, 16-bit and float data alike
// (biases 128/255, 32768/65535, 0.5), and the dead zone takes it to zero.
vec3 decodeGradient(vec3 stored)
{
    vec3 d = stored - 127.75 / 255.0;
    return d * step(0.5 / 255.0, abs(d));
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
