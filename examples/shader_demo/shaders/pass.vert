// Hands the sprite's texture coordinates and colour to the fragment shader.
void main() {
  gl_TexCoord[0] = gl_MultiTexCoord0;
  gl_FrontColor = gl_Color;
  gl_Position = ftransform();
}
