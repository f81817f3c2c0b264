// The map page: shows what the program's map model holds. The program sends each update as
// one batch (a JSON text) through the web channel object "lodvarBridge":
//
//   { seq, cm, cl,            batch number; 1: remove all markers / all lines first
//     icons: [url, ...],      icon URLs the markers below refer to by index
//     m: [[id, lat, lng, title, icon, visible, infoHtml | null, infoVisible
//          (, "#rrggbb" ring | null, label)], ...],
//     l: [[id, [lat, lng, lat, lng, ...], "#rrggbb", width, geodesic, closed], ...],
//     v: [["c", lat, lng] | ["b", north, east, south, west], ...],
//     cp, p: [[id, [lat, lng, ...], "#stroke", width, "#fill", fillPercent], ...],  (optional)
//     lg: [[name, "#rrggbb"], ...] }   (optional; the legend, empty removes it)
//
// Items are given whole and replace the item of the same id. Once a batch is on the screen
// the page calls lodvarBridge.drawn(seq). Titles are plain text; info boxes are HTML that
// the program has already escaped.
'use strict';

(function () {
    const RAD = Math.PI / 180;
    const STEP_DEGREES = 1; // great circles are drawn as chords of at most this arc

    const map = L.map('map', {
        preferCanvas: true,
        attributionControl: false,
        zoomSnap: 0.25,
    });
    map.setView([51.507833, 27.509642], 12);

    // Natural Earth countries (land with coastlines and borders) beneath everything, so the
    // map is usable offline. One layer per country: a pan redraws only those in view.
    const basePane = map.createPane('basemap');
    basePane.style.zIndex = 150;
    const topo = window.lodvarBaseMap;
    const countries = L.geoJSON(topojson.feature(topo, topo.objects.countries), {
        renderer: L.canvas({ pane: 'basemap' }),
        interactive: false,
        style: { color: '#7f8f70', weight: 1, fillColor: '#1c2a22', fillOpacity: 1 },
    }).addTo(map);

    // Online tiles, when the site configured them, lie over the base map; where they do not
    // load, the base map shows through.
    const tileTemplate = new URLSearchParams(window.location.search).get('tiles');
    const tiles = tileTemplate ? L.tileLayer(tileTemplate, { maxZoom: 19 }).addTo(map) : null;

    const overlayRenderer = L.canvas({ padding: 0.5 });
    const markerLayer = L.layerGroup().addTo(map);
    const polygonLayer = L.layerGroup().addTo(map);
    const lineLayer = L.layerGroup().addTo(map);
    const ringLayer = L.layerGroup().addTo(map);
    const infoLayer = L.layerGroup().addTo(map);
    const markers = new Map(); // id -> L.Marker (also while hidden)
    const infos = new Map();   // id of its marker -> info box (on the map while shown)
    const lines = new Map();   // id -> L.Polyline
    const polygons = new Map(); // id -> L.Polygon
    const rings = new Map();   // id of its marker -> L.CircleMarker in the station's colour
    const labels = new Map();  // id of its marker -> its label text, while shown

    // The marker icons of the program's icon host are our own drawings in the bundle.
    const iconHost = new URLSearchParams(window.location.search).get('icons');
    const bundledIcons = new Map([
        ['/icons8-antenna-30-grey.png', { url: 'icons/antenna.svg', size: 30 }],
        ['/icons8-plane-50.png', { url: 'icons/plane.svg', size: 50 }],
    ]);
    const iconCache = new Map();
    function iconFor(url) {
        let icon = iconCache.get(url);
        if (!icon) {
            let source = { url, size: 32 };
            try {
                const parsed = new URL(url);
                if (parsed.protocol === 'https:' && parsed.host === iconHost &&
                    bundledIcons.has(parsed.pathname)) {
                    source = bundledIcons.get(parsed.pathname);
                }
            } catch (e) {
                // not a URL: Leaflet shows a broken image, as for any icon that cannot load
            }
            const size = source.size;
            icon = L.icon({ iconUrl: source.url, iconSize: [size, size],
                            iconAnchor: [size / 2, size / 2] });
            iconCache.set(url, icon);
        }
        return icon;
    }

    function toVector(lat, lng) {
        const phi = lat * RAD, lambda = lng * RAD;
        return [Math.cos(phi) * Math.cos(lambda), Math.cos(phi) * Math.sin(lambda), Math.sin(phi)];
    }

    // Points along the great circle from a to b, longitudes within -180..180.
    function densify(a, b, out, first) {
        const va = toVector(a[0], a[1]), vb = toVector(b[0], b[1]);
        const cx = va[1] * vb[2] - va[2] * vb[1];
        const cy = va[2] * vb[0] - va[0] * vb[2];
        const cz = va[0] * vb[1] - va[1] * vb[0];
        const dot = va[0] * vb[0] + va[1] * vb[1] + va[2] * vb[2];
        const delta = Math.atan2(Math.hypot(cx, cy, cz), dot);
        const sinDelta = Math.sin(delta);
        // Equal or antipodal points: no single great circle, draw the chord.
        const n = sinDelta < 1e-12 ? 1 : Math.max(1, Math.ceil(delta / RAD / STEP_DEGREES));
        for (let k = first ? 0 : 1; k <= n; ++k) {
            const f = k / n;
            let v;
            if (sinDelta < 1e-12) {
                v = f < 0.5 ? va : vb;
            } else {
                const wa = Math.sin((1 - f) * delta) / sinDelta, wb = Math.sin(f * delta) / sinDelta;
                v = [wa * va[0] + wb * vb[0], wa * va[1] + wb * vb[1], wa * va[2] + wb * vb[2]];
            }
            const horizontal = Math.hypot(v[0], v[1]);
            const lat = Math.atan2(v[2], horizontal) / RAD;
            // At a pole the longitude is undefined: keep the previous one.
            const lng = horizontal < 1e-12 && out.length ? out[out.length - 1][1]
                                                          : Math.atan2(v[1], v[0]) / RAD;
            out.push([lat, lng]);
        }
    }

    // Splits a path where it crosses the antimeridian or passes over a pole, so that each
    // part stays on one copy of the world.
    function splitPath(points) {
        const parts = [[points[0]]];
        for (let i = 1; i < points.length; ++i) {
            const p = points[i - 1], q = points[i];
            const d = q[1] - p[1];
            const part = parts[parts.length - 1];
            if (Math.abs(Math.abs(d) - 180) < 1e-6) {
                const pole = p[0] + q[0] >= 0 ? 90 : -90; // over the pole: up one meridian, down the other
                part.push([pole, p[1]]);
                parts.push([[pole, q[1]], q]);
            } else if (Math.abs(d) > 180) {
                const qLng = q[1] - 360 * Math.sign(d);
                const edge = p[1] >= 0 ? 180 : -180;
                const t = (edge - p[1]) / (qLng - p[1]);
                const lat = p[0] + t * (q[0] - p[0]);
                part.push([lat, edge]);
                parts.push([[lat, -edge], q]);
            } else {
                part.push(q);
            }
        }
        return parts.length === 1 ? parts[0] : parts;
    }

    function greatCirclePath(points) {
        const dense = [];
        for (let i = 1; i < points.length; ++i) {
            densify(points[i - 1], points[i], dense, i === 1);
        }
        return splitPath(dense);
    }

    // Info boxes are plain elements beside their markers in a pane of their own. Their place
    // is set by CSS alone (no layout is read back), so thousands of them are added quickly.
    map.createPane('lodvarInfo').style.zIndex = 650;
    const infoIcons = new Map(); // marker icon size -> L.DivIcon shell of a box
    function infoFor(marker, html, iconSize) {
        let shell = infoIcons.get(iconSize);
        if (!shell) {
            shell = L.divIcon({ className: 'lodvar-info-anchor', iconSize: null,
                                iconAnchor: [-(iconSize / 2 + 4), 0] });
            infoIcons.set(iconSize, shell);
        }
        const box = L.marker(marker.getLatLng(), { icon: shell, pane: 'lodvarInfo',
                                                   interactive: false, keyboard: false });
        box.on('add', () => {
            const element = box.getElement();
            if (!element.firstChild) {
                const content = document.createElement('div');
                content.className = 'lodvar-info';
                content.innerHTML = html; // escaped by the program; no script may run anyway
                element.appendChild(content);
            }
        });
        return box;
    }

    function removeMarker(id) {
        const old = markers.get(id);
        if (old) {
            markerLayer.removeLayer(old);
            markers.delete(id);
        }
        const oldInfo = infos.get(id);
        if (oldInfo) {
            infoLayer.removeLayer(oldInfo);
            infos.delete(id);
        }
        const oldRing = rings.get(id);
        if (oldRing) {
            ringLayer.removeLayer(oldRing);
            rings.delete(id);
        }
        labels.delete(id);
    }

    function putMarker(item, icons) {
        const [id, lat, lng, title, icon, visible, info, infoVisible, ring, label] = item;
        removeMarker(id);
        if (lat === null || lng === null) {
            return;
        }
        const markerIcon = iconFor(icons[icon]);
        const marker = L.marker([lat, lng], { icon: markerIcon, title, keyboard: false });
        markers.set(id, marker);
        if (visible) {
            markerLayer.addLayer(marker);
        }
        if (info !== null) {
            const box = infoFor(marker, info, markerIcon.options.iconSize[0]);
            infos.set(id, box);
            if (visible && infoVisible) {
                infoLayer.addLayer(box);
            }
        }
        if (ring && visible) {
            const circle = L.circleMarker([lat, lng], {
                renderer: overlayRenderer, radius: markerIcon.options.iconSize[0] / 2 + 3,
                color: ring, weight: 3, opacity: 1, fill: false, interactive: false,
            });
            rings.set(id, circle);
            ringLayer.addLayer(circle);
        }
        // The label goes with the info box: shown while the box is.
        if (label && visible && info !== null && infoVisible) {
            const text = document.createElement('span');
            text.textContent = label; // a name from the database: text, never markup
            marker.bindTooltip(text, { permanent: true, direction: 'bottom', offset: [0, 8],
                                        className: 'lodvar-label', interactive: false });
            labels.set(id, label);
        }
    }

    // [[lat, lng], ...] of a flat list; null when a point is missing (not a finite number).
    function pointsOf(flat) {
        const points = [];
        for (let i = 0; i + 1 < flat.length; i += 2) {
            if (flat[i] === null || flat[i + 1] === null) {
                return null;
            }
            points.push([flat[i], flat[i + 1]]);
        }
        return points;
    }

    function putPolygon(item) {
        const [id, flat, color, weight, fillColor, fillPercent] = item;
        const old = polygons.get(id);
        if (old) {
            polygonLayer.removeLayer(old);
            polygons.delete(id);
        }
        const points = pointsOf(flat);
        if (!points || points.length < 3) {
            return;
        }
        const polygon = L.polygon(points, {
            renderer: overlayRenderer, color, weight, opacity: 1, fillColor,
            fillOpacity: fillPercent / 100, interactive: false,
        });
        polygons.set(id, polygon);
        polygonLayer.addLayer(polygon);
    }

    // The legend: a swatch and a name per row, as text nodes (names are never markup).
    const legend = L.control({ position: 'bottomright' });
    legend.onAdd = () => L.DomUtil.create('div', 'lodvar-legend');
    let legendEntries = [];
    function putLegend(entries) {
        legendEntries = entries;
        legend.remove();
        if (!entries.length) {
            return;
        }
        legend.addTo(map);
        const box = legend.getContainer();
        for (const [name, color] of entries) {
            const row = L.DomUtil.create('div', 'lodvar-legend-row', box);
            const swatch = L.DomUtil.create('span', 'lodvar-legend-swatch', row);
            swatch.style.background = color;
            row.appendChild(document.createTextNode(name));
        }
    }

    function putLine(item) {
        const [id, flat, color, weight, geodesic, closed] = item;
        const old = lines.get(id);
        if (old) {
            lineLayer.removeLayer(old);
            lines.delete(id);
        }
        const points = pointsOf(flat);
        if (!points || points.length < 2) {
            return;
        }
        if (closed) {
            points.push(points[0]);
        }
        const line = L.polyline(geodesic ? greatCirclePath(points) : points, {
            renderer: overlayRenderer, color, weight, opacity: 1, interactive: false,
        });
        lines.set(id, line);
        lineLayer.addLayer(line);
    }

    function changeView(op) {
        if (op[0] === 'c') {
            map.setView([op[1], op[2]], map.getZoom(), { animate: false });
        } else if (op[0] === 'b') {
            map.fitBounds([[op[3], op[4]], [op[1], op[2]]], { animate: false });
        }
    }

    function apply(bridge, text) {
        const batch = JSON.parse(text);
        if (batch.cm) {
            markerLayer.clearLayers();
            infoLayer.clearLayers();
            markers.clear();
            infos.clear();
        }
        if (batch.cm) {
            ringLayer.clearLayers();
            rings.clear();
            labels.clear();
        }
        if (batch.cl) {
            lineLayer.clearLayers();
            lines.clear();
        }
        if (batch.cp) {
            polygonLayer.clearLayers();
            polygons.clear();
        }
        for (const item of batch.m) {
            putMarker(item, batch.icons);
        }
        for (const item of batch.l) {
            putLine(item);
        }
        for (const item of batch.p || []) {
            putPolygon(item);
        }
        if (batch.lg) {
            putLegend(batch.lg);
        }
        for (const op of batch.v) {
            changeView(op);
        }
        // Leaflet redraws its canvas in the next animation frame; report after it.
        requestAnimationFrame(() => setTimeout(() => bridge.drawn(batch.seq), 0));
    }

    // What the page shows, for the program's own checks.
    window.lodvarPage = {
        map, markers, infos, lines, countries, tiles, polygons, rings, labels,
        legend: () => legendEntries,
    };

    new QWebChannel(qt.webChannelTransport, (channel) => {
        const bridge = channel.objects.lodvarBridge;
        bridge.batch.connect((text) => apply(bridge, text));
        bridge.pageReady();
    });
})();
