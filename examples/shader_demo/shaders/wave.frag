// A heat-haze ripple that moves with `time` (seconds).
uniform sampler2D picture;
uniform float time;
void main() {
  vec2 st = gl_TexCoord[0].st;
  st.x += 0.004 * sin(st.y * 60.0 + time * 4.0);
  gl_FragColor = texture2D(picture, st) * gl_Color;
}
