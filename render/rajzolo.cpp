#include "render/rajzolo.h"

#include <GL/gl.h>

#include <cmath>
#include <cstring>
#include <initializer_list>

#include "model/valtozok.h"
#include "render/context.h"
#include "render/nyilaszaro.h"

namespace {

// Materials: ambient and diffuse together, red, green, blue, alpha.
const GLfloat mat_ad_arc[4] = {0.9764f, 0.7804f, 0.6902f, 1.0f};  // skin
const GLfloat mat_ad_red[4] = {0.8f, 0.0f, 0.0f, 1.0f};
const GLfloat mat_ad_green[4] = {0.0f, 1.0f, 0.0f, 1.0f};
const GLfloat mat_ad_blue[4] = {0.0f, 0.0f, 1.0f, 1.0f};
const GLfloat mat_ad_gray[4] = {0.7f, 0.7f, 0.7f, 1.0f};
const GLfloat mat_specular2[4] = {0.3f, 0.3f, 0.3f, 0.3f};
const GLfloat mat_shininess[1] = {50.0f};

// Working values of the mesh loops: the current triangle's vertices, its two edges, its
// unnormalised normal and that normal's length.
int m1, m2, m3;
double v1x, v1y, v1z, v2x, v2y, v2z;
double vx, vy, vz;
double e = 1.0;

// The current triangle's unnormalised face normal (twice its area long) into vx, vy, vz.
void face_normal(int j) {
  m1 = hda[j];
  m2 = hdb[j];
  m3 = hdc[j];
  v1x = hdx[m2] - hdx[m1];
  v1y = hdy[m2] - hdy[m1];
  v1z = hdz[m2] - hdz[m1];
  v2x = hdx[m3] - hdx[m1];
  v2y = hdy[m3] - hdy[m1];
  v2z = hdz[m3] - hdz[m1];
  vx = v1y * v2z - v1z * v2y;
  vy = v1z * v2x - v1x * v2z;
  vz = v1x * v2y - v1y * v2x;
}

// Depth clamping is core from OpenGL 3.2 and an extension before; every Mesa driver has it.
bool depth_clamp() {
  const char* ext = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
  return ext != nullptr && (std::strstr(ext, "GL_ARB_depth_clamp") != nullptr ||
                            std::strstr(ext, "GL_NV_depth_clamp") != nullptr);
}

void material(const GLfloat* ambient_diffuse) {
  glMaterialfv(GL_FRONT, GL_AMBIENT_AND_DIFFUSE, ambient_diffuse);
  glMaterialfv(GL_FRONT, GL_SPECULAR, mat_specular2);
  glMaterialfv(GL_FRONT, GL_SHININESS, mat_shininess);
}

void axis(const GLfloat* colour, GLfloat x, GLfloat y, GLfloat z) {
  material(colour);
  glLineWidth(3.0f);
  glNormal3f(0.0f, 1.0f, 0.0f);
  glBegin(GL_LINES);
  glVertex3f(0.0f, 0.0f, 0.0f);
  glVertex3f(x, y, z);
  glEnd();
}

void point_of(int k) {
  glVertex3f(static_cast<GLfloat>(hdx[k]), static_cast<GLfloat>(hdy[k]),
             static_cast<GLfloat>(hdz[k]));
}

// Steps 1 to 3 of every frame: clear, turn by this frame's increments on top of the turn
// accumulated since the last camera reset, light.
void begin_frame() {
  glClearColor(1.0f, 1.0f, 1.0f, 0.0f);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glRotatef(static_cast<GLfloat>(rotx), 1.0f, 0.0f, 0.0f);
  glRotatef(static_cast<GLfloat>(roty), 0.0f, 1.0f, 0.0f);
  glRotatef(static_cast<GLfloat>(rotz), 0.0f, 0.0f, 1.0f);
  lights();
  tengelyek();
}

}  // namespace

void initMapping() {
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glTranslatef(static_cast<GLfloat>(tolx), static_cast<GLfloat>(toly), -125.0f);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glFrustum(-d, d, -d, d, 1.0, 250.0);
  glMatrixMode(GL_MODELVIEW);
  // No rotation follows the pan: a turn about a zero axis is undefined in OpenGL (some
  // libraries ignore it, others scale the model by the angle's cosine), and the default
  // pose must be x right, y up, z towards the viewer.
  glViewport(0, 0, winW, winH);
}

void lights() {
  const GLfloat diffuse[4] = {0.5f, 0.5f, 0.5f, 0.5f};
  const GLfloat position[4] = {2.0f, 0.0f, 2.0f, 0.0f};  // directional, from front right
  glLightfv(GL_LIGHT1, GL_DIFFUSE, diffuse);
  glLightfv(GL_LIGHT1, GL_POSITION, position);
  glEnable(GL_LIGHTING);
  glEnable(GL_LIGHT1);
  glDepthFunc(GL_LEQUAL);
  glEnable(GL_DEPTH_TEST);
  // The head reaches further behind its origin (the back of the skull, 170 units) than the
  // far plane lies behind it (125): clipped there, a view into the mouth from below or a
  // turned head looked through the cut skull at the background. Clamping the depth draws
  // it instead; the projection stays as it is, and in the default view that part is hidden
  // behind the face anyway.
  if (depth_clamp()) glEnable(GL_DEPTH_CLAMP);
  const GLfloat ambient[4] = {static_cast<GLfloat>(feny), static_cast<GLfloat>(feny),
                              static_cast<GLfloat>(feny), 1.0f};
  glLightModelfv(GL_LIGHT_MODEL_AMBIENT, ambient);
  glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, GL_TRUE);
}

void modellnezet() {
  if (nezetselect == 1)
    halo();
  else if (nezetselect == 2)
    poly();
  else if (nezetselect == 0)
    vertex();
}

void vertex() {
  begin_frame();
  vertex_og();
  rotpont();
  SwapBuffers(hDC);
}

void halo() {
  begin_frame();
  halo_og();
  rotpont();
  SwapBuffers(hDC);
}

void (*polyKep)() = nullptr;

void poly() {
  if (polyKep != nullptr) {
    polyKep();
    return;
  }
  begin_frame();
  rotpont();
  poly_og();
  nyilaszaro();
  SwapBuffers(hDC);
}

void vertex_og() {
  material(mat_ad_blue);
  glPointSize(2.0f);
  glBegin(GL_POINTS);
  glNormal3f(0.0f, 1.0f, 0.0f);
  for (int i = 0; i < kVertexCount; ++i) point_of(i);
  glEnd();
}

void halo_og() {
  glMaterialfv(GL_FRONT, GL_AMBIENT_AND_DIFFUSE, mat_ad_red);
  glMaterialfv(GL_BACK, GL_AMBIENT_AND_DIFFUSE, mat_ad_gray);
  glMaterialfv(GL_FRONT, GL_SPECULAR, mat_specular2);
  glMaterialfv(GL_FRONT, GL_SHININESS, mat_shininess);
  glLineWidth(0.5f);
  for (int j = 0; j < kFaceCount; ++j) {
    glNormal3f(0.0f, 1.0f, 0.0f);
    m1 = hda[j];
    m2 = hdb[j];
    m3 = hdc[j];
    glBegin(GL_LINE_STRIP);
    point_of(m1);
    point_of(m2);
    point_of(m3);
    glEnd();
  }
}

void poly_og() {
  material(mat_ad_arc);
  if (sima) {
    csucsnormalok();
    glBegin(GL_TRIANGLES);
    for (int j = 0; j < kFaceCount; ++j) {
      for (int k : {hda[j], hdb[j], hdc[j]}) {
        glNormal3f(static_cast<GLfloat>(cnx[k]), static_cast<GLfloat>(cny[k]),
                   static_cast<GLfloat>(cnz[k]));
        point_of(k);
      }
    }
    glEnd();
    return;
  }
  glBegin(GL_TRIANGLES);
  for (int j = 0; j < kFaceCount; ++j) {
    face_normal(j);
    e = std::sqrt(vx * vx + vy * vy + vz * vz);
    if (e > 0.0) {
      glNormal3f(static_cast<GLfloat>(vx / e), static_cast<GLfloat>(vy / e),
                 static_cast<GLfloat>(vz / e));
    } else {
      // A triangle of zero area covers no pixel; it still gets a finite normal (towards the
      // viewer in the default pose) so no NaN enters the lighting.
      glNormal3f(0.0f, 0.0f, 1.0f);
    }
    point_of(m1);
    point_of(m2);
    point_of(m3);
  }
  glEnd();
}

double cnx[348], cny[348], cnz[348];

void csucsnormalok() {
  for (int i = 0; i < kVertexCount; ++i) cnx[i] = cny[i] = cnz[i] = 0.0;
  // The cross product is as long as twice the triangle's area: summing it unnormalised
  // weights every face by its area.
  for (int j = 0; j < kFaceCount; ++j) {
    face_normal(j);
    for (int k : {m1, m2, m3}) {
      cnx[k] += vx;
      cny[k] += vy;
      cnz[k] += vz;
    }
  }
  for (int i = 0; i < kVertexCount; ++i) {
    const double n = std::sqrt(cnx[i] * cnx[i] + cny[i] * cny[i] + cnz[i] * cnz[i]);
    if (n > 0.0) {
      cnx[i] /= n;
      cny[i] /= n;
      cnz[i] /= n;
    } else {
      cnx[i] = 0.0;
      cny[i] = 0.0;
      cnz[i] = 1.0;
    }
  }
}

void tengelyek() {
  axis(mat_ad_red, 100.0f, 0.0f, 0.0f);
  axis(mat_ad_green, 0.0f, 100.0f, 0.0f);
  axis(mat_ad_blue, 0.0f, 0.0f, 100.0f);
}

void rotpont() {
  material(mat_ad_blue);
  glPointSize(static_cast<GLfloat>(rotspeed));
  glBegin(GL_POINTS);
  glNormal3f(0.0f, 1.0f, 0.0f);
  glVertex3f(0.0f, 100.0f, 0.0f);
  glEnd();
}
