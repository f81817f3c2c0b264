// A plain Leaflet page that draws given markers and straight two-point lines itself, with the
// map page's renderer and icon: the yardstick of the map page's drawing time.
'use strict';

(function () {
    const map = L.map('map', { preferCanvas: true, attributionControl: false, zoomSnap: 0.25 });
    map.setView([51.507833, 27.509642], 12);
    const renderer = L.canvas({ padding: 0.5 });
    const layer = L.layerGroup().addTo(map);
    const icon = L.icon({ iconUrl: '../icons/antenna.svg', iconSize: [30, 30], iconAnchor: [15, 15] });
    let bridge = null;
    window.benchMap = map;
    let items = []; // [lat, lng, endLat, endLng, title]

    window.bench = {
        load(data) {
            items = data;
        },
        draw() {
            layer.clearLayers();
            for (const [lat, lng, endLat, endLng, title] of items) {
                layer.addLayer(L.marker([lat, lng], { icon, title, keyboard: false }));
                layer.addLayer(L.polyline([[lat, lng], [endLat, endLng]], {
                    renderer, color: '#0000ff', weight: 3, opacity: 1, interactive: false,
                }));
            }
            if (items.length) {
                const last = items[items.length - 1];
                map.setView([last[0], last[1]], map.getZoom(), { animate: false });
            }
            requestAnimationFrame(() => setTimeout(() => bridge.drawn(), 0));
        },
    };

    new QWebChannel(qt.webChannelTransport, (channel) => {
        bridge = channel.objects.benchBridge;
        bridge.ready();
    });
})();
