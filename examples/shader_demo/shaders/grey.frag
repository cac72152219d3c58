// Grey scale, blended with the original by `amount` (0..1).
uniform sampler2D picture;
uniform float amount;
void main() {
  vec4 c = texture2D(picture, gl_TexCoord[0].st) * gl_Color;
  float grey = dot(c.rgb, vec3(0.299, 0.587, 0.114));
  gl_FragColor = vec4(mix(c.rgb, vec3(grey), amount), c.a);
}
