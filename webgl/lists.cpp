// The GL subset's display lists: calls kept as closures, glBegin blocks
// kept as vertices in a static buffer of the list's own, made when the list
// first draws (or, where the list
// gave some of their attributes and left others to the current values, as
// vertices filled in when the list runs), bitmaps kept as their set bits.
#include "webgl/subset.h"

#include <cstring>

namespace webgl {

// Records a call into the list being made (recordOrRun calls it only while
// one is); true when it is not to run now.
bool record(std::function<void()> call) {
    Op op;
    op.call = std::move(call);
    gl.compiling->list.ops.push_back(std::move(op));
    return gl.compiling->mode == GL_COMPILE;
}

// A colour, normal or texture coordinate given in a list outside glBegin:
// known from here on in the list, and current after it.
void recordCurrent(unsigned bits) {
    Compiling& c = *gl.compiling;
    std::vector<Op>& ops = c.list.ops;
    if (ops.empty() || ops.back().kind != Op::Current) {
        Op op;
        op.kind = Op::Current;
        ops.push_back(std::move(op));
    }
    Op& op = ops.back();
    op.currentMask |= bits;
    std::memcpy(op.color, c.color, sizeof op.color);
    std::memcpy(op.normal, c.normal, sizeof op.normal);
    std::memcpy(op.tex, c.tex, sizeof op.tex);
}

namespace {

void setCurrent(unsigned mask, const float color[4], const float normal[3], const float tex[2]) {
    if (mask & fromColor) std::memcpy(gl.a.color, color, sizeof gl.a.color);
    if (mask & fromNormal) std::memcpy(gl.a.normal, normal, sizeof gl.a.normal);
    if (mask & fromTex) std::memcpy(gl.a.texCoord, tex, sizeof gl.a.texCoord);
}

void drawMixed(const Op& op) {
    // Vertices the list gave partly: the rest from the current values.
    std::vector<Vertex> v = op.vertices;
    for (size_t i = 0; i < v.size(); ++i) {
        if (!(op.vertexKnown[i] & fromColor)) std::memcpy(v[i].color, gl.a.color, sizeof v[i].color);
        if (!(op.vertexKnown[i] & fromNormal)) std::memcpy(v[i].normal, gl.a.normal, sizeof v[i].normal);
        if (!(op.vertexKnown[i] & fromTex)) std::memcpy(v[i].tex, gl.a.texCoord, sizeof v[i].tex);
    }
    drawStream(op.block.primitive, v, fromColor | fromNormal | fromTex);
}

void sendVertices(List& list) {
    emscripten_glGenBuffers(1, &list.buffer);
    bindBuffer(list.buffer);
    emscripten_glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(list.vertices.size() * sizeof(Vertex)),
                            list.vertices.data(), GL_STATIC_DRAW);
    if (!list.drawsLines) std::vector<Vertex>().swap(list.vertices);
}

void runOp(const Op& op, List& list) {
    if (op.kind != Op::DrawBitmap) flushBitmaps();
    switch (op.kind) {
    case Op::Call: op.call(); break;
    case Op::Current: setCurrent(op.currentMask, op.color, op.normal, op.tex); break;
    case Op::DrawBitmap: runBitmap(*op.bitmap); break;
    case Op::Draw:
        if (!op.vertices.empty()) {
            drawMixed(op);
        } else if (op.block.primitive == GL_LINES && linesWide()) {
            drawWideLines(list.vertices.data() + op.block.first, static_cast<size_t>(op.block.count), op.block.baked);
        } else if (gl.renderMode == GL_RENDER && op.block.count > 0) {
            if (list.buffer == 0) sendVertices(list);
            bindBuffer(list.buffer);
            setArrays(op.block.baked, gl.a.color, gl.a.normal, gl.a.texCoord);
            setUniforms(op.block.primitive);
            emscripten_glDrawArrays(op.block.primitive, op.block.first, op.block.count);
        }
        break;
    }
}

void callList(GLuint name) {
    constexpr int maxNesting = 64;
    const auto found = gl.lists.find(name);
    if (found == gl.lists.end() || gl.callDepth >= maxNesting) return;
    ++gl.callDepth;
    // Lists cannot delete or remake lists (those calls run at once when
    // compiled), so the list stays whole while it runs.
    List& list = found->second;
    for (size_t i = 0; i < list.ops.size(); ++i) runOp(list.ops[i], list);
    --gl.callDepth;
}

// Joins draws of the same kind that only current values separate, and
// keeps the static vertices for the buffer its first draw makes.
void finishList(Compiling& c) {
    List& list = c.list;
    std::vector<Op> ops;
    int lastDraw = -1;  // index in ops of a draw the next one may join
    for (Op& op : list.ops) {
        if (op.kind == Op::Draw && op.vertices.empty()) {
            if (lastDraw >= 0) {
                Block& prev = ops[static_cast<size_t>(lastDraw)].block;
                if (prev.primitive == op.block.primitive && prev.baked == op.block.baked &&
                    prev.first + prev.count == op.block.first) {
                    prev.count += op.block.count;
                    continue;
                }
            }
            ops.push_back(std::move(op));
            lastDraw = static_cast<int>(ops.size()) - 1;
        } else {
            if (op.kind != Op::Current) lastDraw = -1;
            ops.push_back(std::move(op));
        }
    }
    list.ops = std::move(ops);
    for (const Op& op : list.ops)
        list.drawsLines |= op.kind == Op::Draw && op.vertices.empty() && op.block.primitive == GL_LINES;
    list.vertices = std::move(c.staticVertices);
}

void deleteList(GLuint name) {
    const auto found = gl.lists.find(name);
    if (found == gl.lists.end()) return;
    if (found->second.buffer != 0) {
        if (gl.boundBuffer == found->second.buffer) gl.boundBuffer = ~0u;
        emscripten_glDeleteBuffers(1, &found->second.buffer);
    }
    gl.lists.erase(found);
}

}  // namespace

}  // namespace webgl

using namespace webgl;

extern "C" {

GLuint glGenLists(GLsizei range) {
    if (range <= 0) return 0;
    // The first of range free names in a row.
    GLuint first = 1;
    for (;;) {
        const auto next = gl.lists.lower_bound(first);
        if (next == gl.lists.end() || next->first - first >= static_cast<GLuint>(range)) break;
        first = next->first + 1;
    }
    // Reserved as empty lists, so that the next call hands out others.
    for (GLsizei i = 0; i < range; ++i) gl.lists[first + static_cast<GLuint>(i)];
    return first;
}

GLboolean glIsList(GLuint list) { return gl.lists.count(list) ? GL_TRUE : GL_FALSE; }

void glDeleteLists(GLuint list, GLsizei range) {
    if (range < 0) return setError(GL_INVALID_VALUE);
    for (GLsizei i = 0; i < range; ++i) deleteList(list + static_cast<GLuint>(i));
}

void glNewList(GLuint list, GLenum mode) {
    if (list == 0) return setError(GL_INVALID_VALUE);
    if (mode != GL_COMPILE && mode != GL_COMPILE_AND_EXECUTE) return setError(GL_INVALID_ENUM);
    if (gl.compiling || gl.inBegin) return setError(GL_INVALID_OPERATION);
    gl.compiling = std::make_unique<Compiling>();
    Compiling& c = *gl.compiling;
    c.name = list;
    c.mode = mode;
    std::memcpy(c.color, gl.a.color, sizeof c.color);
    std::memcpy(c.normal, gl.a.normal, sizeof c.normal);
    std::memcpy(c.tex, gl.a.texCoord, sizeof c.tex);
}

void glEndList(void) {
    if (!gl.compiling || gl.inBegin) return setError(GL_INVALID_OPERATION);
    std::unique_ptr<Compiling> c = std::move(gl.compiling);
    finishList(*c);
    deleteList(c->name);
    gl.lists[c->name] = std::move(c->list);
}

void glListBase(GLuint base) {
    recordOrRun([=] { gl.a.listBase = base; });
}

// The bitmaps drawn by lists go out when the outermost call returns (a call
// kept in a list runs at a depth above 0).
void glCallList(GLuint list) {
    recordOrRun([=] {
        callList(list);
        if (gl.callDepth == 0) flushBitmaps();
    });
}

void glCallLists(GLsizei n, GLenum type, const GLvoid* lists) {
    if (n < 0) return setError(GL_INVALID_VALUE);
    if (lists == nullptr) return;
    std::vector<GLuint> names(static_cast<size_t>(n));
    for (GLsizei i = 0; i < n; ++i) {
        switch (type) {
        case GL_UNSIGNED_BYTE: names[i] = static_cast<const GLubyte*>(lists)[i]; break;
        case GL_BYTE: names[i] = static_cast<GLuint>(static_cast<const GLbyte*>(lists)[i]); break;
        case GL_UNSIGNED_SHORT: names[i] = static_cast<const GLushort*>(lists)[i]; break;
        case GL_SHORT: names[i] = static_cast<GLuint>(static_cast<const GLshort*>(lists)[i]); break;
        case GL_UNSIGNED_INT:
        case GL_INT: names[i] = static_cast<const GLuint*>(lists)[i]; break;
        default: return setError(GL_INVALID_ENUM);
        }
    }
    recordOrRun([names] {
        for (GLuint name : names) callList(gl.a.listBase + name);
        if (gl.callDepth == 0) flushBitmaps();
    });
}

}  // extern "C"
