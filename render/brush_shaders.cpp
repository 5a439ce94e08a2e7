#include "render/brush_shaders.h"

const char* const QuadVertexShaderSource = R"glsl(#version 140
in vec2 aPosition;
in vec2 aTexCoord;
out vec2 pTexCoord;

void main()
{
    pTexCoord = aTexCoord;
    gl_Position = vec4(aPosition.x, aPosition.y, 1.0, 1.0);
}
)glsl";

// One fragment costs 18 lookups: the colour, seven for the smear, nine for the Sobel kernel and
// the paper. Nothing is clamped here; the 8-bit colour buffer clamps on write.
const char* const BrushPixelShaderSource = R"glsl(#version 140
#define POW2(x) ((x) * (x))

struct brush_properties
{
    float Opacity;
    float StrokeCoeff;
    float BackgroundCoeff;
};

in vec2 pTexCoord;
out vec4 OutputColor;

uniform brush_properties uBrush;
uniform vec2 uResolution;
uniform sampler2D sTexture;
uniform sampler2D sBackgroundTexture;

float Brightness(vec4 Color)
{
    return sqrt(0.299 * POW2(Color.r) + 0.587 * POW2(Color.g) + 0.114 * POW2(Color.b));
}

float Weight(vec3 Color)
{
    return sqrt(Color.r * Color.g * Color.b);
}

// The brightest of seven nearby samples; on equal brightness the earlier sample stays.
// BottomRight lies on the row of TopColor (dy = +4), not on the row of Bottom.
vec4 BrushEffect(sampler2D Texture, vec2 Position, vec2 PixelUnit)
{
    vec4 Result      = texture(Texture, Position);
    vec4 TopColor    = texture(Texture, Position + vec2( 0.0,  4.0) * PixelUnit);
    vec4 TopLeft     = texture(Texture, Position + vec2(-3.0,  2.0) * PixelUnit);
    vec4 TopRight    = texture(Texture, Position + vec2( 3.0,  2.0) * PixelUnit);
    vec4 Bottom      = texture(Texture, Position + vec2( 0.0, -4.0) * PixelUnit);
    vec4 BottomLeft  = texture(Texture, Position + vec2(-3.0, -4.0) * PixelUnit);
    vec4 BottomRight = texture(Texture, Position + vec2( 3.0,  4.0) * PixelUnit);

    if (Brightness(TopColor) > Brightness(Result)) Result = TopColor;
    if (Brightness(TopLeft) > Brightness(Result)) Result = TopLeft;
    if (Brightness(TopRight) > Brightness(Result)) Result = TopRight;
    if (Brightness(Bottom) > Brightness(Result)) Result = Bottom;
    if (Brightness(BottomLeft) > Brightness(Result)) Result = BottomLeft;
    if (Brightness(BottomRight) > Brightness(Result)) Result = BottomRight;
    return Result;
}

void MakeKernel(inout vec4 Kernel[9], sampler2D Texture, vec2 Center, vec2 PixelUnit)
{
    Kernel[0] = texture(Texture, Center + vec2(-1.0, -1.0) * PixelUnit);
    Kernel[1] = texture(Texture, Center + vec2( 0.0, -1.0) * PixelUnit);
    Kernel[2] = texture(Texture, Center + vec2( 1.0, -1.0) * PixelUnit);
    Kernel[3] = texture(Texture, Center + vec2(-1.0,  0.0) * PixelUnit);
    Kernel[4] = texture(Texture, Center);
    Kernel[5] = texture(Texture, Center + vec2( 1.0,  0.0) * PixelUnit);
    Kernel[6] = texture(Texture, Center + vec2(-1.0,  1.0) * PixelUnit);
    Kernel[7] = texture(Texture, Center + vec2( 0.0,  1.0) * PixelUnit);
    Kernel[8] = texture(Texture, Center + vec2( 1.0,  1.0) * PixelUnit);
}

// Per-channel Sobel magnitude; the centre entry takes part in neither gradient.
vec3 SobelEdgeDetect(sampler2D Texture, vec2 Center, vec2 PixelUnit)
{
    vec4 Kernel[9];
    MakeKernel(Kernel, Texture, Center, PixelUnit);
    vec4 SobelEdgeH = Kernel[2] + 2.0 * Kernel[5] + Kernel[8] - (Kernel[0] + 2.0 * Kernel[3] + Kernel[6]);
    vec4 SobelEdgeV = Kernel[0] + 2.0 * Kernel[1] + Kernel[2] - (Kernel[6] + 2.0 * Kernel[7] + Kernel[8]);
    vec4 Sobel = sqrt(POW2(SobelEdgeH) + POW2(SobelEdgeV));
    return Sobel.rgb;
}

vec4 PaperMix(vec4 Color, vec4 PaperColor, float Factor)
{
    return mix(Color, PaperColor * Color, Factor);
}

void main()
{
    vec2 PixelUnit = 1.0 / uResolution;
    vec2 Position = vec2(pTexCoord.x, 1.0 - pTexCoord.y);

    vec4 Color = texture(sTexture, Position);
    vec4 BrushColor = BrushEffect(sTexture, Position, PixelUnit);
    // The edge measure is taken four pixel rows up from the fragment.
    vec3 EdgeColor = SobelEdgeDetect(sTexture, vec2(Position.x, Position.y - 4.0 * PixelUnit.y), PixelUnit);
    float EdgeCoeff = 1.0 - Weight(EdgeColor);

    vec4 OutputColor0 = mix(Color, BrushColor, uBrush.Opacity);
    OutputColor = mix(Color, BrushColor, uBrush.Opacity * EdgeCoeff);
    OutputColor = mix(OutputColor0, OutputColor, uBrush.StrokeCoeff);
    OutputColor = PaperMix(OutputColor, texture(sBackgroundTexture, Position), uBrush.BackgroundCoeff);
}
)glsl";
