// Night vision: green, brighter in the middle, dark at the edges.
uniform sampler2D picture;
void main() {
  vec2 st = gl_TexCoord[0].st;
  vec4 c = texture2D(picture, st);
  float light = dot(c.rgb, vec3(0.3, 0.6, 0.1)) * 1.6;
  float edge = 1.0 - 1.4 * distance(st, vec2(0.5, 0.5));
  gl_FragColor = vec4(0.1 * light, light, 0.1 * light, 1.0) * clamp(edge, 0.0, 1.0);
}
