#include "platform/GlDevice.h"

#include <GL/gl.h>
#include <SDL.h>
#include <SDL_image.h>

#include <strings.h>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

namespace qm {

namespace {

// Row-vector matrix taking Direct3D clip depth (0..w) to OpenGL's (-w..w):
// [x y z w] -> [x y 2z-w w].
Matrix DepthToGl() {
    Matrix m = MatrixIdentity();
    m.m[2][2] = 2.0f;
    m.m[3][2] = -1.0f;
    return m;
}

bool IsSoftwareRenderer(const std::string& renderer) {
    for (const char* name : {"llvmpipe", "softpipe", "swrast", "Software Rasterizer"}) {
        if (renderer.find(name) != std::string::npos) return true;
    }
    return false;
}

GLenum BlendFactor(std::uint32_t d3dBlend) {
    switch (d3dBlend) {
        case 1:
            return GL_ZERO;
        case 2:
            return GL_ONE;
        case 3:
            return GL_SRC_COLOR;
        case 4:
            return GL_ONE_MINUS_SRC_COLOR;
        case 5:
            return GL_SRC_ALPHA;
        case 6:
            return GL_ONE_MINUS_SRC_ALPHA;
        case 7:
            return GL_DST_ALPHA;
        case 8:
            return GL_ONE_MINUS_DST_ALPHA;
        case 9:
            return GL_DST_COLOR;
        case 10:
            return GL_ONE_MINUS_DST_COLOR;
        default:
            return GL_ONE;
    }
}

GLint AddressMode(std::uint32_t d3dAddress) {
    switch (d3dAddress) {
        case kAddressMirror:
            return GL_MIRRORED_REPEAT;
        case kAddressClamp:
            return GL_CLAMP_TO_EDGE;
        default:
            return GL_REPEAT;
    }
}

GLint FilterMode(std::uint32_t d3dFilter) { return d3dFilter == kFilterLinear ? GL_LINEAR : GL_NEAREST; }

void SetColor(GLenum light, GLenum name, const ColorValue& c) {
    const GLfloat v[4] = {c.r, c.g, c.b, c.a};
    glLightfv(light, name, v);
}

void SetMaterialColor(GLenum name, const ColorValue& c) {
    const GLfloat v[4] = {c.r, c.g, c.b, c.a};
    glMaterialfv(GL_FRONT_AND_BACK, name, v);
}

// A D3DCOLOR (0xAARRGGBB) as the R, G, B, A bytes OpenGL reads.
void ToRgbaBytes(std::uint32_t argb, GLubyte* out) {
    out[0] = static_cast<GLubyte>(argb >> 16);
    out[1] = static_cast<GLubyte>(argb >> 8);
    out[2] = static_cast<GLubyte>(argb);
    out[3] = static_cast<GLubyte>(argb >> 24);
}

}  // namespace

std::unique_ptr<GlLibrary> GlLibrary::Load(SDL_Window* window) {
    if (!window || SDL_GL_LoadLibrary(nullptr) != 0) return nullptr;
    return std::unique_ptr<GlLibrary>(new GlLibrary());
}

GlLibrary::~GlLibrary() { SDL_GL_UnloadLibrary(); }

std::unique_ptr<GlDevice> GlDevice::Create(SDL_Window* window, DeviceKind kind, std::string* why) {
    switch (kind) {
        case DeviceKind::HardwareMixed:
            SDL_GL_SetAttribute(SDL_GL_ACCELERATED_VISUAL, 1);
            break;
        case DeviceKind::HardwareSoftware:
            SDL_GL_SetAttribute(SDL_GL_ACCELERATED_VISUAL, 1);
            SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 2);
            SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 1);
            SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
            break;
        case DeviceKind::Reference:
            SDL_GL_SetAttribute(SDL_GL_ACCELERATED_VISUAL, -1);
            SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, 0);
            break;
    }
    SDL_GLContext context = SDL_GL_CreateContext(window);
    if (!context) {
        if (why) *why = SDL_GetError();
        return nullptr;
    }
    std::unique_ptr<GlDevice> device(new GlDevice(window, context));

    int major = 0, minor = 0;
    const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    if (!version || std::sscanf(version, "%d.%d", &major, &minor) != 2 || major * 10 + minor < 21) {
        if (why)
            *why = std::string("OpenGL 2.1 is not available (") + (version ? version : "no version") + ")";
        return nullptr;
    }
    if (kind != DeviceKind::Reference && IsSoftwareRenderer(device->renderer_)) {
        if (why) *why = "the renderer is not hardware accelerated (" + device->renderer_ + ")";
        return nullptr;
    }
    // The default presentation interval waits for the vertical retrace.
    device->SetSwapInterval(1);
    return device;
}

GlDevice::GlDevice(SDL_Window* window, void* context)
    : window_(window),
      context_(context),
      world_(MatrixIdentity()),
      view_(MatrixIdentity()),
      projection_(MatrixIdentity()) {
    const char* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    renderer_ = renderer ? renderer : "";
    // The back buffer takes the client size the window has now.
    DrawableSize(backBufferWidth_, backBufferHeight_);
    viewport_ = {0,
                 0,
                 static_cast<std::uint32_t>(backBufferWidth_),
                 static_cast<std::uint32_t>(backBufferHeight_),
                 0.0f,
                 1.0f};
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
}

GlDevice::~GlDevice() {
    for (const auto& [handle, name] : textures_) glDeleteTextures(1, &name);
    SDL_GL_DeleteContext(static_cast<SDL_GLContext>(context_));
}

void GlDevice::DrawableSize(int& width, int& height) const {
    SDL_GL_GetDrawableSize(window_, &width, &height);
}

bool GlDevice::SetSwapInterval(int interval) { return SDL_GL_SetSwapInterval(interval) == 0; }

Image GlDevice::ReadBackBuffer() const {
    Image image;
    image.width = backBufferWidth_;
    image.height = backBufferHeight_;
    const std::size_t count = static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height);
    std::vector<GLubyte> rgba(count * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, image.width, image.height, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    // OpenGL reads rows bottom first; an Image holds them top first.
    image.pixels.resize(count);
    for (int y = 0; y < image.height; ++y) {
        const GLubyte* row = rgba.data() + static_cast<std::size_t>(image.height - 1 - y) * image.width * 4;
        for (int x = 0; x < image.width; ++x) {
            const GLubyte* p = row + static_cast<std::size_t>(x) * 4;
            image.pixels[static_cast<std::size_t>(y) * image.width + x] =
                0xFF000000u | static_cast<std::uint32_t>(p[0]) << 16 | static_cast<std::uint32_t>(p[1]) << 8 |
                p[2];
        }
    }
    return image;
}

bool GlDevice::SaveBackBuffer(const std::string& path, std::string* why) const {
    const Image image = ReadBackBuffer();
    SDL_Surface* surface =
        SDL_CreateRGBSurfaceWithFormat(0, image.width, image.height, 32, SDL_PIXELFORMAT_ARGB8888);
    if (!surface) {
        if (why) *why = SDL_GetError();
        return false;
    }
    for (int y = 0; y < image.height; ++y) {
        std::memcpy(
            static_cast<std::uint8_t*>(surface->pixels) + static_cast<std::size_t>(y) * surface->pitch,
            &image.pixels[static_cast<std::size_t>(y) * image.width],
            static_cast<std::size_t>(image.width) * 4);
    }
    const bool bmp = path.size() >= 4 && strcasecmp(path.c_str() + path.size() - 4, ".bmp") == 0;
    const bool saved = (bmp ? SDL_SaveBMP(surface, path.c_str()) : IMG_SavePNG(surface, path.c_str())) == 0;
    if (!saved && why) *why = SDL_GetError();
    SDL_FreeSurface(surface);
    return saved;
}

void GlDevice::SetTransform(TransformType type, const Matrix& matrix) {
    switch (type) {
        case TransformType::World:
            world_ = matrix;
            break;
        case TransformType::View:
            view_ = matrix;
            break;
        case TransformType::Projection:
            projection_ = matrix;
            break;
    }
}

Matrix GlDevice::GetTransform(TransformType type) const {
    switch (type) {
        case TransformType::World:
            return world_;
        case TransformType::View:
            return view_;
        case TransformType::Projection:
            return projection_;
    }
    return world_;
}

void GlDevice::SetViewport(const Viewport& viewport) { viewport_ = viewport; }

void GlDevice::SetLight(std::uint32_t index, const Light& light) {
    if (index < kMaxLights) lights_[index] = light;
}

void GlDevice::LightEnable(std::uint32_t index, bool enable) {
    if (index < kMaxLights) lightEnabled_[index] = enable;
}

void GlDevice::SetRenderState(RenderState state, std::uint32_t value) {
    switch (state) {
        case RenderState::ZEnable:
            zEnable_ = value != 0;
            break;
        case RenderState::ZWriteEnable:
            zWrite_ = value != 0;
            break;
        case RenderState::CullMode:
            cullMode_ = value;
            break;
        case RenderState::Lighting:
            lighting_ = value != 0;
            break;
        case RenderState::Ambient:
            ambient_ = value;
            break;
        case RenderState::SpecularEnable:
            specularEnable_ = value != 0;
            break;
        case RenderState::AlphaBlendEnable:
            alphaBlend_ = value != 0;
            break;
        case RenderState::SrcBlend:
            srcBlend_ = value;
            break;
        case RenderState::DestBlend:
            destBlend_ = value;
            break;
        case RenderState::DepthBias:
            depthBias_ = FloatFromBits(value);
            break;
        case RenderState::SlopeScaleDepthBias:
            slopeScaleDepthBias_ = FloatFromBits(value);
            break;
    }
}

TextureHandle GlDevice::CreateTexture(const Image& image) {
    if (image.width <= 0 || image.height <= 0 ||
        image.pixels.size() !=
            static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height)) {
        return 0;
    }
    // Images have no alpha: the texture is RGB, so its alpha reads as the
    // fragment's (opaque for every textured draw of the scene).
    std::vector<GLubyte> rgb(image.pixels.size() * 3);
    for (std::size_t i = 0; i < image.pixels.size(); ++i) {
        const std::uint32_t p = image.pixels[i];
        rgb[i * 3 + 0] = static_cast<GLubyte>(p >> 16);
        rgb[i * 3 + 1] = static_cast<GLubyte>(p >> 8);
        rgb[i * 3 + 2] = static_cast<GLubyte>(p);
    }
    GLuint name = 0;
    glGenTextures(1, &name);
    if (name == 0) return 0;
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB8, image.width, image.height, 0, GL_RGB, GL_UNSIGNED_BYTE,
                 rgb.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    const TextureHandle handle = static_cast<TextureHandle>(name);
    textures_[handle] = name;
    return handle;
}

void GlDevice::ReleaseTexture(TextureHandle texture) {
    auto it = textures_.find(texture);
    if (it == textures_.end()) return;
    glDeleteTextures(1, &it->second);
    textures_.erase(it);
    if (texture_ == texture) texture_ = 0;
}

void GlDevice::SetTexture(std::uint32_t stage, TextureHandle texture) {
    if (stage == 0) texture_ = texture;
}

void GlDevice::SetTextureStageColorOp(std::uint32_t stage, TextureOp op, TextureArg arg1) {
    if (stage != 0) return;
    colorOp_ = op;
    colorArg1_ = arg1;
}

void GlDevice::SetSamplerState(std::uint32_t sampler, SamplerState state, std::uint32_t value) {
    if (sampler != 0) return;
    switch (state) {
        case SamplerState::AddressU:
            addressU_ = value;
            break;
        case SamplerState::AddressV:
            addressV_ = value;
            break;
        case SamplerState::MagFilter:
            magFilter_ = value;
            break;
        case SamplerState::MinFilter:
            minFilter_ = value;
            break;
    }
}

void GlDevice::ApplyViewport() {
    int width = 0, height = 0;
    DrawableSize(width, height);
    const float sx =
        backBufferWidth_ > 0 ? static_cast<float>(width) / static_cast<float>(backBufferWidth_) : 1.0f;
    const float sy =
        backBufferHeight_ > 0 ? static_cast<float>(height) / static_cast<float>(backBufferHeight_) : 1.0f;
    const auto x = static_cast<GLint>(static_cast<float>(viewport_.X) * sx);
    const auto w = static_cast<GLsizei>(static_cast<float>(viewport_.Width) * sx);
    const auto h = static_cast<GLsizei>(static_cast<float>(viewport_.Height) * sy);
    const auto top = static_cast<GLint>(static_cast<float>(viewport_.Y) * sy);
    glViewport(x, height - top - h, w, h);
    glScissor(x, height - top - h, w, h);
    glDepthRange(viewport_.MinZ, viewport_.MaxZ);
}

void GlDevice::ApplyTexture() {
    // A stage that selects the texture replaces the colour with it; one that
    // modulates multiplies. With no texture bound the stage passes the
    // vertex colour on, so untextured draws show their lit colour.
    const bool useTexture = texture_ != 0 && textures_.count(texture_) != 0 &&
                            (colorOp_ == TextureOp::Modulate ||
                             (colorOp_ == TextureOp::SelectArg1 && colorArg1_ == TextureArg::Texture));
    if (!useTexture) {
        glDisable(GL_TEXTURE_2D);
        return;
    }
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, textures_.at(texture_));
    // Sampler states belong to the sampler, not the texture: apply them to
    // whichever texture is bound now.
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, AddressMode(addressU_));
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, AddressMode(addressV_));
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, FilterMode(magFilter_));
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, FilterMode(minFilter_));
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE,
              colorOp_ == TextureOp::Modulate ? GL_MODULATE : GL_REPLACE);
}

void GlDevice::PrepareDraw(bool lit) {
    ApplyViewport();
    glEnable(GL_SCISSOR_TEST);

    glMatrixMode(GL_PROJECTION);
    const Matrix projection = MatrixMultiply(projection_, DepthToGl());
    glLoadMatrixf(&projection.m[0][0]);
    glMatrixMode(GL_MODELVIEW);

    // Lights are placed in world space: OpenGL transforms a light's position
    // by the modelview matrix in force when it is set, so set them under the view alone.
    glLoadMatrixf(&view_.m[0][0]);
    for (int i = 0; i < kMaxLights; ++i) {
        const GLenum id = static_cast<GLenum>(GL_LIGHT0 + i);
        if (!lightEnabled_[i]) {
            glDisable(id);
            continue;
        }
        const Light& l = lights_[i];
        glEnable(id);
        SetColor(id, GL_DIFFUSE, l.Diffuse);
        SetColor(id, GL_SPECULAR, l.Specular);
        SetColor(id, GL_AMBIENT, l.Ambient);
        if (l.Type == LightType::Directional) {
            const GLfloat toLight[4] = {-l.Direction.x, -l.Direction.y, -l.Direction.z, 0.0f};
            glLightfv(id, GL_POSITION, toLight);
            glLightf(id, GL_SPOT_CUTOFF, 180.0f);
            glLightf(id, GL_CONSTANT_ATTENUATION, 1.0f);
            glLightf(id, GL_LINEAR_ATTENUATION, 0.0f);
            glLightf(id, GL_QUADRATIC_ATTENUATION, 0.0f);
        } else {
            const GLfloat position[4] = {l.Position.x, l.Position.y, l.Position.z, 1.0f};
            glLightfv(id, GL_POSITION, position);
            glLightf(id, GL_CONSTANT_ATTENUATION, l.Attenuation0);
            glLightf(id, GL_LINEAR_ATTENUATION, l.Attenuation1);
            glLightf(id, GL_QUADRATIC_ATTENUATION, l.Attenuation2);
            if (l.Type == LightType::Spot) {
                const GLfloat direction[3] = {l.Direction.x, l.Direction.y, l.Direction.z};
                glLightfv(id, GL_SPOT_DIRECTION, direction);
                glLightf(id, GL_SPOT_CUTOFF, std::clamp(l.Phi * 0.5f * 57.29578f, 0.0f, 90.0f));
                glLightf(id, GL_SPOT_EXPONENT, std::clamp(l.Falloff, 0.0f, 128.0f));
            } else {
                glLightf(id, GL_SPOT_CUTOFF, 180.0f);
            }
        }
    }
    const Matrix modelView = MatrixMultiply(world_, view_);
    glLoadMatrixf(&modelView.m[0][0]);

    if (zEnable_) {
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_LEQUAL);
    } else {
        glDisable(GL_DEPTH_TEST);
    }
    glDepthMask(zWrite_ ? GL_TRUE : GL_FALSE);
    // OpenGL's polygon offset has the same two terms and units.
    if (depthBias_ != 0.0f || slopeScaleDepthBias_ != 0.0f) {
        glEnable(GL_POLYGON_OFFSET_FILL);
        glPolygonOffset(slopeScaleDepthBias_, depthBias_);
    } else {
        glDisable(GL_POLYGON_OFFSET_FILL);
    }

    // Both interfaces name the winding as the picture shows it (Direct3D
    // counts it with y pointing down, OpenGL with y pointing up, on the same
    // picture): the faces counter-clockwise on screen are OpenGL's front faces.
    if (cullMode_ == kCullNone) {
        glDisable(GL_CULL_FACE);
    } else {
        glEnable(GL_CULL_FACE);
        glFrontFace(GL_CCW);
        glCullFace(cullMode_ == kCullCounterClockwise ? GL_FRONT : GL_BACK);
    }

    glDisable(GL_COLOR_MATERIAL);
    glDisable(GL_NORMALIZE);
    glShadeModel(GL_SMOOTH);
    if (lighting_ && lit) {
        glEnable(GL_LIGHTING);
        const GLfloat ambient[4] = {static_cast<float>((ambient_ >> 16) & 0xFF) / 255.0f,
                                    static_cast<float>((ambient_ >> 8) & 0xFF) / 255.0f,
                                    static_cast<float>(ambient_ & 0xFF) / 255.0f, 1.0f};
        glLightModelfv(GL_LIGHT_MODEL_AMBIENT, ambient);
        // Specular light is added after texturing and seen from the eye, as
        // Direct3D does it. Without any (the node cubes', the goal's), the
        // simpler model gives the same colours for less work per vertex and pixel.
        const ColorValue& s = material_.Specular;
        const bool specular = specularEnable_ && (s.r != 0.0f || s.g != 0.0f || s.b != 0.0f);
        glLightModeli(GL_LIGHT_MODEL_LOCAL_VIEWER, specular ? GL_TRUE : GL_FALSE);
        glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, GL_FALSE);
        glLightModeli(GL_LIGHT_MODEL_COLOR_CONTROL, specular ? GL_SEPARATE_SPECULAR_COLOR : GL_SINGLE_COLOR);
        SetMaterialColor(GL_DIFFUSE, material_.Diffuse);
        SetMaterialColor(GL_AMBIENT, material_.Ambient);
        SetMaterialColor(GL_EMISSION, material_.Emissive);
        SetMaterialColor(GL_SPECULAR, specularEnable_ ? material_.Specular : ColorValue{});
        glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, std::clamp(material_.Power, 0.0f, 128.0f));
    } else {
        glDisable(GL_LIGHTING);
    }

    if (alphaBlend_) {
        glEnable(GL_BLEND);
        glBlendFunc(BlendFactor(srcBlend_), BlendFactor(destBlend_));
    } else {
        glDisable(GL_BLEND);
    }
    ApplyTexture();
}

void GlDevice::DrawMeshSubset(const Mesh& mesh, std::uint32_t subset) {
    if (subset >= mesh.subsets.size() || mesh.vertices.empty()) return;
    const MeshSubset& range = mesh.subsets[subset];
    if (range.faceCount == 0 || (range.faceStart + range.faceCount) * 3 > mesh.indices.size()) return;

    PrepareDraw(true);
    // Unlit, a vertex without a colour of its own is white.
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    const GLsizei stride = sizeof(MeshVertex);
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, stride, &mesh.vertices[0].position);
    if (mesh.hasNormals) {
        glEnableClientState(GL_NORMAL_ARRAY);
        glNormalPointer(GL_FLOAT, stride, &mesh.vertices[0].normal);
    } else {
        glNormal3f(0.0f, 0.0f, 0.0f);
    }
    if (mesh.hasTexCoords) {
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glTexCoordPointer(2, GL_FLOAT, stride, &mesh.vertices[0].u);
    } else {
        glTexCoord2f(0.0f, 0.0f);
    }
    glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(range.faceCount * 3), GL_UNSIGNED_INT,
                   &mesh.indices[range.faceStart * 3]);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
}

bool GlDevice::InstancesFitOneDraw(std::span<const Material> materials) const {
    if (materials.empty()) return true;
    const Material& first = materials[0];
    for (const Material& m : materials) {
        if (m.Ambient.r != m.Diffuse.r || m.Ambient.g != m.Diffuse.g || m.Ambient.b != m.Diffuse.b ||
            !(m.Specular == first.Specular) || !(m.Emissive == first.Emissive) || m.Power != first.Power) {
            return false;
        }
    }
    return true;
}

void GlDevice::DrawInstancesOneByOne(const Mesh& mesh, std::uint32_t subset,
                                     std::span<const MeshInstance> instances,
                                     std::span<const Material> materials) {
    const Matrix world = world_;
    const Material material = material_;
    for (const MeshInstance& instance : instances) {
        const Vector3& o = instance.offset;
        world_ = MatrixMultiply(MatrixTranslation(o.x, o.y, o.z), world);
        material_ = materials.empty() ? material : materials[instance.material];
        DrawMeshSubset(mesh, subset);
    }
    world_ = world;
    material_ = material;
}

namespace {

// Lit with a material that reflects and emits nothing, a face is black
// whatever its normals: (0, 0, 0) with the material's diffuse alpha.
bool ReflectsNothing(const Material& m) {
    const auto black = [](const ColorValue& c) { return c.r == 0.0f && c.g == 0.0f && c.b == 0.0f; };
    return black(m.Diffuse) && black(m.Ambient) && black(m.Specular) && black(m.Emissive);
}

}  // namespace

// One draw call for all the instances: each vertex is moved by its
// instance's offset here, and the current world and view transforms do the
// rest, so v * Translation(offset) * world * view becomes (v + offset) *
// world * view, and the normals take the same transform as in a single draw.
// Every vertex carries its instance's diffuse colour, which colour material
// makes the ambient and diffuse colour of the lighting; the other terms are
// the materials' common ones. Triangles are drawn in index order, instance
// after instance, as separate draws would be.
void GlDevice::DrawMeshInstances(const Mesh& mesh, std::uint32_t subset,
                                 std::span<const MeshInstance> instances,
                                 std::span<const Material> materials) {
    if (instances.empty() || subset >= mesh.subsets.size() || mesh.vertices.empty()) return;
    const MeshSubset& range = mesh.subsets[subset];
    if (range.faceCount == 0 || (range.faceStart + range.faceCount) * 3 > mesh.indices.size()) return;
    if (!InstancesFitOneDraw(materials)) {
        DrawInstancesOneByOne(mesh, subset, instances, materials);
        return;
    }

    // The subset's own vertices, in the order its faces first use them, and
    // its faces renumbered onto them.
    const std::uint32_t* faces = &mesh.indices[range.faceStart * 3];
    const std::size_t faceIndices = static_cast<std::size_t>(range.faceCount) * 3;
    subsetVertices_.clear();
    subsetFaces_.resize(faceIndices);
    for (std::size_t i = 0; i < faceIndices; ++i) {
        if (faces[i] >= mesh.vertices.size()) return;
        const auto found = std::find(subsetVertices_.begin(), subsetVertices_.end(), faces[i]);
        subsetFaces_[i] = static_cast<std::uint32_t>(found - subsetVertices_.begin());
        if (found == subsetVertices_.end()) subsetVertices_.push_back(faces[i]);
    }
    const std::size_t perInstance = subsetVertices_.size();
    const std::size_t vertexCount = instances.size() * perInstance;

    // Only the arrays that can change the picture are filled.
    const bool colored = lighting_ && !materials.empty();
    const bool normals = lighting_ && mesh.hasNormals && !(!colored && ReflectsNothing(material_));
    const bool texCoords = mesh.hasTexCoords;
    // Grown, never shrunk: the cubes and the shadows take turns with them.
    const auto reserve = [](auto& v, std::size_t n) {
        if (v.size() < n) v.resize(n);
    };
    reserve(instancePositions_, vertexCount * 3);
    if (normals) reserve(instanceNormals_, vertexCount * 3);
    if (colored) reserve(instanceColors_, vertexCount * 4);
    if (texCoords) reserve(instanceTexCoords_, vertexCount * 2);
    const std::size_t indexCount = instances.size() * faceIndices;
    reserve(instanceIndices_, indexCount);

    float* position = instancePositions_.data();
    float* normal = instanceNormals_.data();
    float* color = instanceColors_.data();
    float* texCoord = instanceTexCoords_.data();
    std::uint32_t* index = instanceIndices_.data();
    std::uint32_t base = 0;
    for (const MeshInstance& instance : instances) {
        const Vector3& o = instance.offset;
        for (const std::uint32_t k : subsetVertices_) {
            const Vector3& p = mesh.vertices[k].position;
            *position++ = p.x + o.x;
            *position++ = p.y + o.y;
            *position++ = p.z + o.z;
        }
        if (normals) {
            for (const std::uint32_t k : subsetVertices_) {
                const Vector3& n = mesh.vertices[k].normal;
                *normal++ = n.x;
                *normal++ = n.y;
                *normal++ = n.z;
            }
        }
        if (colored) {
            const ColorValue& c = materials[instance.material].Diffuse;
            for (std::size_t k = 0; k < perInstance; ++k) {
                *color++ = c.r;
                *color++ = c.g;
                *color++ = c.b;
                *color++ = c.a;
            }
        }
        if (texCoords) {
            for (const std::uint32_t k : subsetVertices_) {
                *texCoord++ = mesh.vertices[k].u;
                *texCoord++ = mesh.vertices[k].v;
            }
        }
        for (const std::uint32_t f : subsetFaces_) *index++ = base + f;
        base += static_cast<std::uint32_t>(perInstance);
    }

    // The materials' common terms; colour material supplies the rest.
    const Material material = material_;
    if (colored) material_ = materials[0];
    PrepareDraw(true);
    material_ = material;

    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, instancePositions_.data());
    if (normals) {
        glEnableClientState(GL_NORMAL_ARRAY);
        glNormalPointer(GL_FLOAT, 0, instanceNormals_.data());
    } else {
        glNormal3f(0.0f, 0.0f, 0.0f);
    }
    if (colored) {
        glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
        glEnable(GL_COLOR_MATERIAL);
        glEnableClientState(GL_COLOR_ARRAY);
        glColorPointer(4, GL_FLOAT, 0, instanceColors_.data());
    } else {
        glColor4f(1.0f, 1.0f, 1.0f, 1.0f);  // unlit, a vertex without a colour of its own is white
    }
    if (texCoords) {
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glTexCoordPointer(2, GL_FLOAT, 0, instanceTexCoords_.data());
    } else {
        glTexCoord2f(0.0f, 0.0f);
    }
    glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(indexCount), GL_UNSIGNED_INT, instanceIndices_.data());
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisableClientState(GL_COLOR_ARRAY);
    glDisable(GL_COLOR_MATERIAL);
    glDisableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
}

// Lines and strips are drawn unlit in their vertex colour: the links in the
// opaque white they are given, the floor with its vertex alpha.
void GlDevice::DrawLineList(std::span<const ColorVertex> vertices) {
    const std::size_t count = vertices.size() / 2 * 2;
    if (count == 0) return;
    PrepareDraw(false);
    lineVertices_.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        const ColorVertex& v = vertices[i];
        LineVertex& out = lineVertices_[i];
        out.x = v.x;
        out.y = v.y;
        out.z = v.z;
        ToRgbaBytes(v.color, out.rgba);
    }
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, sizeof(LineVertex), &lineVertices_[0].x);
    glEnableClientState(GL_COLOR_ARRAY);
    glColorPointer(4, GL_UNSIGNED_BYTE, sizeof(LineVertex), lineVertices_[0].rgba);
    glDrawArrays(GL_LINES, 0, static_cast<GLsizei>(count));
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
}

void GlDevice::DrawTriangleStrip(std::span<const ColorTexVertex> vertices) {
    if (vertices.size() < 3) return;
    PrepareDraw(false);
    glBegin(GL_TRIANGLE_STRIP);
    for (const ColorTexVertex& v : vertices) {
        GLubyte c[4];
        ToRgbaBytes(v.color, c);
        glColor4ubv(c);
        glTexCoord2f(v.u, v.v);
        glVertex3f(v.x, v.y, v.z);
    }
    glEnd();
}

void GlDevice::Clear(std::uint32_t color, float z, std::uint32_t stencil) {
    ApplyViewport();
    glEnable(GL_SCISSOR_TEST);
    const ColorValue c = ColorFromArgb(color);
    glClearColor(c.r, c.g, c.b, c.a);
    glClearDepth(z);
    glClearStencil(static_cast<GLint>(stencil));
    glDepthMask(GL_TRUE);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

bool GlDevice::BeginScene() { return SDL_GL_GetCurrentContext() == context_; }

void GlDevice::EndScene() { glFlush(); }

// A context that ran out of memory is the nearest thing to a lost device.
bool GlDevice::Present() {
    SDL_GL_SwapWindow(window_);
    bool ok = true;
    for (GLenum error = glGetError(); error != GL_NO_ERROR; error = glGetError()) {
        if (error == GL_OUT_OF_MEMORY) ok = false;
    }
    return ok;
}

bool GlDevice::Reset() { return true; }

}  // namespace qm
